// Number scanning.
#include "probes/numbers.h"

#include <algorithm>
#include <limits>

namespace dorv {

namespace {

bool is_digit(char c)
{
    return c >= '0' && c <= '9';
}

} // namespace

int parse_nums(std::string_view line, std::int32_t* num, int num_max)
{
    constexpr std::int64_t top = std::numeric_limits<std::int32_t>::max();
    int count = 0;
    std::size_t i = 0;
    while (i < line.size() && line[i] != '\0') {
        if (!is_digit(line[i])) {
            ++i;
            continue;
        }
        std::int64_t v = 0;
        for (; i < line.size() && is_digit(line[i]); ++i)
            v = std::min(top, v * 10 + (line[i] - '0'));
        if (count < num_max)
            num[count] = static_cast<std::int32_t>(v);
        ++count;
    }
    return count;
}

std::vector<std::int32_t> parse_nums(std::string_view line)
{
    std::vector<std::int32_t> out(line.size() / 2 + 1);
    int n = parse_nums(line, out.data(), static_cast<int>(out.size()));
    out.resize(static_cast<std::size_t>(n));
    return out;
}

int leading_int(std::string_view text)
{
    std::size_t i = 0;
    while (i < text.size() && (text[i] == ' ' || (text[i] >= '\t' && text[i] <= '\r')))
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

} // namespace dorv
