// Packet reader of the console.
#include "console/transport/reader.h"

#include <optional>

#include "protocol/limits.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// The keycount value as a number; nothing when it is not a plain decimal number.
std::optional<int> keycount_of(const param_array& pairs)
{
    const std::string& v = pairs.value(0);
    if (v.empty() || v.size() > 4 || v.find_first_not_of("0123456789") != std::string::npos)
        return std::nullopt;
    return std::stoi(v);
}

take_result fail(std::string& error, std::string why)
{
    error = std::move(why);
    return take_result::bad;
}

std::string shown(std::string_view text)
{
    constexpr std::size_t keep = 60;
    std::string s(text.substr(0, keep));
    for (char& c : s)
        if (static_cast<unsigned char>(c) < 0x20)
            c = '?';
    return text.size() > keep ? s + "..." : s;
}

} // namespace

void packet_reader::feed(std::string_view bytes)
{
    buf_.append(bytes);
}

take_result packet_reader::take(param_array& pairs, std::string& text, std::string& error)
{
    if (buf_.empty())
        return take_result::need_more;
    if (buf_[0] != '#')
        return fail(error, "the agent sent something that is not a packet: \"" + shown(buf_) + "\"");
    if (buf_.find('\0') != std::string::npos)
        return fail(error, "the agent sent a zero byte");

    // A packet ends with a '#' that is either the last byte so far or followed by the '#'
    // that opens the next packet. Each such end is tried in turn, shortest first: the
    // first prefix that decodes to the number of pairs its keycount announces is the
    // packet. Usually the only candidate is the end of the buffer.
    const std::size_t limit = std::min(buf_.size(), max_text);
    param_array work;
    for (std::size_t e = 1; e < limit; ++e) {
        if (buf_[e] != '#')
            continue;
        bool last = e + 1 == buf_.size();
        if (!last && buf_[e + 1] != '#')
            continue;
        std::string_view prefix(buf_.data(), e + 1);
        unpack_result r = unpack_packet(prefix, work);
        if (r.status != unpack_status::ok)
            return fail(error, "the agent's packet holds too many pairs");
        int count = r.count;
        if (count == 0)
            continue;
        if (work.key(0) != "keycount")
            return fail(error, "the agent's packet does not begin with keycount: \"" + shown(buf_) + "\"");
        std::optional<int> want = keycount_of(work);
        // Without a usable count only the whole of what has arrived can be the packet.
        if (!want ? !last : work.pairs() < *want + 1)
            continue;
        if (want && work.pairs() > *want + 1)
            return fail(error, "the agent's packet holds more pairs than its keycount " + work.value(0));
        text.assign(prefix);
        pairs = std::move(work);
        buf_.erase(0, e + 1);
        return take_result::packet;
    }
    if (buf_.size() > max_text)
        return fail(error, "the agent sent more than " + std::to_string(max_text) +
                               " characters without completing a packet");
    return take_result::need_more;
}

} // namespace dorv
