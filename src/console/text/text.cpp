// Escaping and replacing agent text.
#include "console/text/text.h"

#include <algorithm>

#include <cstdio>

#include "base/trace.h"

namespace dorv {

namespace {

bool continuation(unsigned char c)
{
    return (c & 0xC0) == 0x80;
}

std::string byte_escape(unsigned char value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\x%02x", value);
    return buf;
}

std::string code_escape(unsigned char value)
{
    char buf[8];
    std::snprintf(buf, sizeof buf, "\\u%04x", value);
    return buf;
}

} // namespace

std::size_t utf8_sequence(std::string_view s, std::size_t i)
{
    unsigned char c = static_cast<unsigned char>(s[i]);
    if (c < 0x80)
        return 1;
    std::size_t n = c >= 0xC2 && c <= 0xDF ? 2 : c >= 0xE0 && c <= 0xEF ? 3 : c >= 0xF0 && c <= 0xF4 ? 4 : 0;
    if (n == 0 || i + n > s.size())
        return 0;
    for (std::size_t k = 1; k < n; ++k)
        if (!continuation(static_cast<unsigned char>(s[i + k])))
            return 0;
    unsigned char c1 = static_cast<unsigned char>(s[i + 1]);
    // Overlong forms, UTF-16 surrogates and code points past U+10FFFF.
    if ((c == 0xE0 && c1 < 0xA0) || (c == 0xED && c1 > 0x9F) || (c == 0xF0 && c1 < 0x90) ||
        (c == 0xF4 && c1 > 0x8F))
        return 0;
    return n;
}

std::string human_text(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = utf8_sequence(s, i);
        if (n == 0) {
            out += byte_escape(c);
            ++i;
            continue;
        }
        if (c == '\\')
            out += "\\\\";
        else if (is_control(c))
            append_control_escape(out, c);
        else if (c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0)
            out += code_escape(static_cast<unsigned char>(s[i + 1])); // a C1 control
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

std::string plugin_text(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        unsigned char c = static_cast<unsigned char>(s[i]);
        std::size_t n = utf8_sequence(s, i);
        if (n == 0)
            out += '?', n = 1;
        else if (c < 0x20 || c == 0x7f || (c == 0xC2 && static_cast<unsigned char>(s[i + 1]) < 0xA0))
            out += ' ';
        else if (c == '|')
            out += '/';
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

std::string valid_utf8(std::string_view s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size();) {
        std::size_t n = utf8_sequence(s, i);
        if (n == 0)
            out += "\xEF\xBF\xBD", n = 1;
        else
            out.append(s.substr(i, n));
        i += n;
    }
    return out;
}

std::vector<std::string_view> text_lines(std::string_view text)
{
    std::vector<std::string_view> lines;
    for (std::size_t at = 0; at < text.size();) {
        std::size_t end = std::min(text.find('\n', at), text.size());
        lines.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return lines;
}

std::string json_escape(const std::string& s)
{
    std::string out;
    for (char ch : valid_utf8(s)) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string json_string(const std::string& s)
{
    return "\"" + json_escape(s) + "\"";
}

} // namespace dorv
