// Multiplexing protocol messages.
#include "mux/mux_message.h"

namespace dorv {

namespace {

constexpr std::size_t max_packet = std::size_t{256} * 1024;

void put_u32(std::string& out, std::uint32_t v)
{
    for (int shift = 24; shift >= 0; shift -= 8)
        out += static_cast<char>((v >> shift) & 0xff);
}

void put_string(std::string& out, const std::string& s)
{
    put_u32(out, static_cast<std::uint32_t>(s.size()));
    out += s;
}

std::string framed(const std::string& payload)
{
    std::string out;
    put_u32(out, static_cast<std::uint32_t>(payload.size()));
    return out + payload;
}

// Reads a number at at; false past the end.
bool get_u32(const std::string& in, std::size_t& at, std::uint32_t& v)
{
    if (at + 4 > in.size())
        return false;
    v = 0;
    for (int i = 0; i < 4; ++i)
        v = (v << 8) | static_cast<unsigned char>(in[at + static_cast<std::size_t>(i)]);
    at += 4;
    return true;
}

} // namespace

std::string mux_hello_packet()
{
    std::string p;
    put_u32(p, mux_hello);
    put_u32(p, mux_version);
    return framed(p);
}

std::string mux_new_session_packet(std::uint32_t request_id, const std::string& command)
{
    std::string p;
    put_u32(p, mux_new_session);
    put_u32(p, request_id);
    put_string(p, "");      // reserved
    put_u32(p, 0);          // no terminal
    put_u32(p, 0);          // no X11 forwarding
    put_u32(p, 0);          // no agent forwarding
    put_u32(p, 0);          // a command, not a subsystem
    put_u32(p, 0xffffffff); // no escape character
    put_string(p, "");      // terminal type
    put_string(p, command);
    return framed(p);
}

std::optional<mux_reply> take_mux_reply(std::string& buffer, bool& bad)
{
    std::size_t at = 0;
    std::uint32_t length = 0;
    bad = false;
    if (!get_u32(buffer, at, length))
        return std::nullopt;
    if (length > max_packet || length < 4) {
        bad = true;
        return std::nullopt;
    }
    if (buffer.size() < 4 + length)
        return std::nullopt;
    std::string payload = buffer.substr(4, length);
    buffer.erase(0, 4 + length);
    mux_reply r;
    at = 0;
    get_u32(payload, at, r.type);
    get_u32(payload, at, r.first);
    std::uint32_t n = 0;
    if (r.type == mux_failure || r.type == mux_permission_denied) {
        if (get_u32(payload, at, n) && at + n <= payload.size())
            r.reason = payload.substr(at, n);
    } else {
        get_u32(payload, at, r.second);
    }
    return r;
}

} // namespace dorv
