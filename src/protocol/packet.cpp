// Packet encoding and decoding.
#include "protocol/packet.h"

#include <algorithm>
#include <cstring>

#include "base/exit_causes.h"

namespace dorv {

std::size_t packed_length(const param_array& param)
{
    std::size_t n = 1;
    for (const auto& t : param.texts)
        n += t.size() + 1; // key '=' or value '#'
    return n;
}

std::string dorv_pack(const param_array& param)
{
    std::string out;
    out.reserve(packed_length(param));
    out += '#';
    for (int i = 0; i < param.pairs(); ++i) {
        out += param.key(i);
        out += '=';
        out += param.value(i);
        out += '#';
    }
    return out;
}

std::string quoted(std::string_view text)
{
    std::string out;
    out.reserve(text.size() + 2);
    out += '"';
    out += text;
    out += '"';
    return out;
}

std::size_t travelling_length(std::string_view text)
{
    return std::min(text.find_first_of("#\""), text.size());
}

bool can_travel(std::string_view text)
{
    return travelling_length(text) == text.size();
}

namespace {

// One field of a packet, decoded from a cursor.
struct field {
    enum { incomplete, done } state;
    std::string_view key, value;
    std::size_t next; // cursor after the field's closing '#'
    bool stable;      // more text could not change how this field decodes
};

field decode_field(std::string_view buffer, std::size_t cur)
{
    const auto npos = std::string_view::npos;
    std::size_t eq = buffer.find('=', cur);
    if (eq == npos)
        return {field::incomplete, {}, {}, 0, false};
    field f{field::done, buffer.substr(cur, eq - cur), {}, 0, true};
    std::size_t v = eq + 1;
    if (v < buffer.size() && buffer[v] == '"') {
        std::size_t q = buffer.find('"', v + 1);
        if (q == npos)
            return {field::incomplete, {}, {}, 0, false}; // a quoted value still arriving
        if (q + 1 < buffer.size() && buffer[q + 1] == '#') {
            f.value = buffer.substr(v + 1, q - v - 1);
            f.next = q + 2;
            return f;
        }
        // With nothing after the closing quote yet, a '#' may still come and make the
        // value quoted: the plain reading below holds only for now.
        f.stable = q + 1 < buffer.size();
    }
    std::size_t hash = buffer.find('#', v);
    if (hash == npos)
        return {field::incomplete, {}, {}, 0, false};
    f.value = buffer.substr(v, hash - v);
    f.next = hash + 1;
    return f;
}

// A packet is a C text: nothing after a zero byte belongs to it.
std::string_view up_to_nul(std::string_view s)
{
    return s.substr(0, std::min(s.size(), s.find('\0')));
}

} // namespace

unpack_result unpack_packet(std::string_view buffer, param_array& param)
{
    buffer = up_to_nul(buffer);
    if (buffer.empty() || buffer[0] != '#')
        return {unpack_status::not_a_packet, 0};

    int count = 0;
    std::size_t cur = 1;
    while (cur < buffer.size()) {
        field f = decode_field(buffer, cur);
        if (f.state == field::incomplete)
            return {unpack_status::ok, 0};
        if (count == 0)
            array_free(param);
        if (param.size() + 2 >= param.max) // where array_add would end the agent
            return {unpack_status::array_full, count};
        count = array_add(param, f.key, 0, f.value);
        cur = f.next;
    }
    return {unpack_status::ok, count};
}

int dorv_unpack(std::string_view buffer, param_array& param)
{
    unpack_result r = unpack_packet(buffer, param);
    if (r.status == unpack_status::not_a_packet)
        end_agent(exit_not_a_packet);
    if (r.status == unpack_status::array_full)
        end_agent(exit_array_full);
    return r.count;
}

void packet_decoder::append(std::string_view bytes)
{
    text_ += up_to_nul(bytes);
}

int packet_decoder::decode()
{
    if (text_.empty() || text_[0] != '#')
        end_agent(exit_not_a_packet);

    // Drop what an earlier call decoded past the stable fields, then go on from there.
    pairs_.texts.resize(static_cast<std::size_t>(stable_count_));
    std::size_t cur = stable_;
    bool stable = true;
    while (cur < text_.size()) {
        field f = decode_field(text_, cur);
        if (f.state == field::incomplete)
            return 0;
        array_add(pairs_, f.key, 0, f.value);
        cur = f.next;
        stable = stable && f.stable;
        if (stable) {
            stable_ = cur;
            stable_count_ = pairs_.size();
        }
    }
    return pairs_.size();
}

} // namespace dorv
