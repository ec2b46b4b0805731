// Text helpers.
#include "base/text_helpers.h"

#include <algorithm>
#include <cstdint>
#include <limits>

namespace dorv {

std::string_view trim_blanks(std::string_view s)
{
    while (!s.empty() && is_blank(s.front()))
        s.remove_prefix(1);
    while (!s.empty() && is_blank(s.back()))
        s.remove_suffix(1);
    return s;
}

int leading_int(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && is_space(text[i]))
        ++i;
    bool negative = false;
    if (i < text.size() && (text[i] == '+' || text[i] == '-'))
        negative = text[i++] == '-';
    constexpr std::int64_t bound = std::int64_t{std::numeric_limits<int>::max()} + 1;
    std::int64_t v = 0;
    for (; i < text.size() && is_digit(text[i]); ++i)
        v = std::min(bound, v * 10 + (text[i] - '0'));
    if (negative)
        return static_cast<int>(-v);
    return static_cast<int>(std::min(v, bound - 1));
}

std::string& chomp(std::string& line)
{
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

std::vector<std::string_view> pieces(std::string_view text, char separator, std::size_t max_pieces)
{
    std::vector<std::string_view> out;
    for (std::size_t at = 0; at < text.size() && out.size() < max_pieces;) {
        std::size_t end = text.find(separator, at);
        if (end == std::string_view::npos)
            end = text.size();
        if (end > at)
            out.push_back(text.substr(at, end - at));
        at = end + 1;
    }
    return out;
}

} // namespace dorv
