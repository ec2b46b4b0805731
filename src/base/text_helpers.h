// The small text helpers every reader of text shares: the character tests as the C locale
// has them, blank trimming, the leading integer as atoi reads it, and chomp, the line-end
// trimming of every line read.
#pragma once

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

constexpr bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

// A character of a name an administrator gives (a check, a module): an ASCII letter or
// digit, '_', '-' or '.'.
constexpr bool is_name_char(char c)
{
    return is_digit(c) || (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || c == '_' || c == '-' ||
           c == '.';
}

// A blank: space or tab.
constexpr bool is_blank(char c)
{
    return c == ' ' || c == '\t';
}

// White space as isspace has it: a blank, or a line feed, vertical tab, form feed or
// carriage return.
constexpr bool is_space(char c)
{
    return c == ' ' || (c >= '\t' && c <= '\r');
}

// s without the blanks at its start and end.
std::string_view trim_blanks(std::string_view s);

// The leading integer of a limit as atoi reads it (white space, a sign, digits; 0 without
// digits), held within the int range instead of overflowing.
int leading_int(std::string_view text);

// The non-empty pieces of text between the separators, at most max_pieces of them from the
// start: a path's components, a line's fields.
std::vector<std::string_view> pieces(std::string_view text, char separator,
                                     std::size_t max_pieces = SIZE_MAX);

// Removes a trailing line feed, then a carriage return, then a line feed, each at most
// once. Returns line.
std::string& chomp(std::string& line);

} // namespace dorv
