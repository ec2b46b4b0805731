// Reply size budget.
#include "protocol/reply_budget.h"

#include <charconv>

#include "protocol/header.h"
#include "protocol/limits.h"
#include "protocol/session_id.h"

namespace dorv {

std::size_t packed_pair_length(std::string_view key, int number, std::string_view value)
{
    std::size_t n = key.size() + 1 + value.size() + 1; // '=' and '#'
    if (number != 0) {
        char digits[16];
        n += static_cast<std::size_t>(std::to_chars(digits, digits + sizeof digits, number).ptr - digits);
    }
    return n;
}

std::size_t reply_length(std::string_view cmd, const param_array& param)
{
    return header_packet_length(header_side::response, cmd, g_session_id, param);
}

bool fits_packet(std::size_t length)
{
    return length <= max_text;
}

std::size_t room_for_last_value(std::string_view cmd, const param_array& reply, std::string_view key)
{
    param_array with_last = reply;
    array_add(with_last, key, 0, "");
    std::size_t used = reply_length(cmd, with_last);
    return fits_packet(used) ? max_text - used : 0;
}

std::size_t room_inside_quotes(std::size_t room)
{
    constexpr std::size_t quotes = 2; // the '"' before and after
    return room >= quotes ? room - quotes : 0;
}

void cut_to(std::string& text, std::size_t room)
{
    if (text.size() > room)
        text.resize(room);
}

void add_last_value(std::string_view cmd, param_array& reply, std::string_view key, std::string_view value)
{
    array_add(reply, key, 0, value.substr(0, room_for_last_value(cmd, reply, key)));
}

} // namespace dorv
