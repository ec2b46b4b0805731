// Escaping a plugin's text for a reply.
#include "protocol/plugin_reply.h"

namespace dorv {

namespace {

constexpr char hex_digits[] = "0123456789abcdef";

int hex_value(char c)
{
    if (c >= '0' && c <= '9')
        return c - '0';
    if (c >= 'a' && c <= 'f')
        return c - 'a' + 10;
    if (c >= 'A' && c <= 'F')
        return c - 'A' + 10;
    return -1;
}

// Length of the escape that starts at text[i] (a backslash), 0 when none does.
std::size_t escape_length(std::string_view text, std::size_t i)
{
    if (i + 1 < text.size() && text[i + 1] == '\\')
        return 2;
    if (i + 3 < text.size() && text[i + 1] == 'x' && hex_value(text[i + 2]) >= 0 &&
        hex_value(text[i + 3]) >= 0)
        return 4;
    return 0;
}

bool is_continuation(char c)
{
    return (static_cast<unsigned char>(c) & 0xc0) == 0x80;
}

} // namespace

std::string escape_plugin_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
        if (c == '\\') {
            out += "\\\\";
        } else if (c == '#' || c == '"' || c == '\0') {
            auto b = static_cast<unsigned char>(c);
            out += "\\x";
            out += hex_digits[b >> 4];
            out += hex_digits[b & 0xf];
        } else {
            out += c;
        }
    }
    return out;
}

std::string unescape_plugin_text(std::string_view text)
{
    std::string out;
    out.reserve(text.size());
    for (std::size_t i = 0; i < text.size();) {
        std::size_t n = text[i] == '\\' ? escape_length(text, i) : 0;
        if (n == 2)
            out += '\\';
        else if (n == 4)
            out += static_cast<char>(hex_value(text[i + 2]) * 16 + hex_value(text[i + 3]));
        else
            out += text[i];
        i += n ? n : 1;
    }
    return out;
}

std::size_t escaped_cut(std::string_view escaped, std::size_t room)
{
    if (escaped.size() <= room)
        return escaped.size();
    // Walk the escapes from the start: an escape is whole or left out.
    std::size_t end = 0;
    for (std::size_t i = 0; i < room;) {
        std::size_t n = escaped[i] == '\\' ? escape_length(escaped, i) : 0;
        n = n ? n : 1;
        if (i + n > room)
            break;
        i += n;
        end = i;
    }
    // Then back to the start of a character: a lead byte left without all its
    // continuation bytes goes with them.
    std::size_t lead = end;
    while (lead > 0 && is_continuation(escaped[lead - 1]))
        --lead;
    if (lead > 0) {
        auto b = static_cast<unsigned char>(escaped[lead - 1]);
        std::size_t want = b >= 0xf0 ? 4 : b >= 0xe0 ? 3 : b >= 0xc0 ? 2 : 1;
        if (want > 1 && end - (lead - 1) < want)
            return lead - 1;
    }
    return end;
}

} // namespace dorv
