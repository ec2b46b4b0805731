// Packet encoding and decoding.
#include "protocol/packet.h"

#include <cstring>

namespace dorv {

std::size_t packed_length(const param_array& param)
{
    std::size_t n = 1;
    for (const auto& t : param.texts)
        n += t.size() + 1;  // key '=' or value '#'
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

int dorv_unpack(std::string_view buffer, param_array& param)
{
    // The packet is a C text: nothing after a zero byte belongs to it.
    if (auto nul = buffer.find('\0'); nul != std::string_view::npos)
        buffer = buffer.substr(0, nul);
    if (buffer.empty() || buffer[0] != '#')
        end_agent(exit_not_a_packet);

    const auto npos = std::string_view::npos;
    int count = 0;
    std::size_t cur = 1;
    while (cur < buffer.size()) {
        std::size_t eq = buffer.find('=', cur);
        if (eq == npos)
            return 0;
        std::string_view key = buffer.substr(cur, eq - cur);
        std::size_t v = eq + 1;
        std::string_view value;
        std::size_t end = npos;
        if (v < buffer.size() && buffer[v] == '"') {
            std::size_t q = buffer.find('"', v + 1);
            if (q == npos)
                return 0;  // a quoted value still arriving
            if (q + 1 < buffer.size() && buffer[q + 1] == '#') {
                value = buffer.substr(v + 1, q - v - 1);
                end = q + 1;
            }
        }
        if (end == npos) {
            std::size_t hash = buffer.find('#', v);
            if (hash == npos)
                return 0;
            value = buffer.substr(v, hash - v);
            end = hash;
        }
        if (count == 0)
            array_free(param);
        count = array_add(param, key, 0, value);
        cur = end + 1;
    }
    return count;
}

}  // namespace dorv
