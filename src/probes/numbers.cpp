// Number scanning.
#include "probes/numbers.h"

#include <algorithm>
#include <limits>

#include "base/text_helpers.h"

namespace dorv {

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

} // namespace dorv
