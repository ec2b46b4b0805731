// CPU load check.
#include "probes/cpu.h"

#include "base/text_helpers.h"
#include "probes/numbers.h"
#include "protocol/descriptors.h"

namespace dorv {

namespace {

bool ends_at(std::string_view s, std::size_t back, char a, char b)
{
    // a and b stand at `back` and `back - 1` characters from the end.
    return s.size() >= back && s[s.size() - back] == a && s[s.size() - back + 1] == b;
}

} // namespace

int vmstat_offset(std::string_view header)
{
    int offset = 3;
    if (ends_at(header, 2, 'w', 'a'))
        offset = 4;
    if (ends_at(header, 5, 'w', 'a'))
        offset = 5;
    // procps-ng 4 adds a "gu" column after "st": us sy id wa st gu.
    if (ends_at(header, 2, 'g', 'u'))
        offset = 6;
    return offset;
}

std::optional<int> parse_vmstat(line_source& lines, std::string* why)
{
    std::string buff;
    std::string line;
    // A read past the end leaves the buffer as it was: with fewer than four lines the
    // sample examined is the last one printed.
    int count = 0;
    for (; count < 2 && lines.next(line); ++count)
        buff = line;
    int offset = vmstat_offset(chomp(buff));
    for (; count < 4 && lines.next(line); ++count)
        buff = line;
    chomp(buff);

    std::vector<std::int32_t> num = parse_nums(buff);
    int nums = static_cast<int>(num.size());
    // The sample must hold both columns that the header's layout points at.
    if (nums < 4 || nums < offset) {
        if (why)
            *why = count == 0 ? "printed nothing"
                              : "printed a sample line of " + std::to_string(nums) +
                                    (nums == 1 ? " number" : " numbers") + ", fewer than the " +
                                    std::to_string(std::max(4, offset)) + " its column header needs";
        return std::nullopt;
    }
    std::size_t at = static_cast<std::size_t>(nums - offset);
    std::int64_t load = std::int64_t{num[at]} + num[at + 1];
    return static_cast<int>(std::min<std::int64_t>(load, INT32_MAX));
}

int params_cpu(param_array& param, std::size_t)
{
    param_number(param, "Load Limit [%]", 1, "200");
    return param.size();
}

void run_cpu(const param_array& arg, int& status, std::string& result)
{
    if (arg.empty() || arg.key(0) != "Load Limit [%]")
        return;
    int limit = leading_int(arg.value(0));
    command_pipe vmstat("vmstat 1 2");
    std::string why;
    std::optional<int> load = parse_vmstat(vmstat, &why);
    if (vmstat.failure() || !load) {
        result = vmstat.cause(why);
        return;
    }
    status = *load <= limit ? 1 : 0;
    result = status ? "CPU load is " + std::to_string(*load)
                    : "CPU load " + std::to_string(*load) + " out of Limit " + std::to_string(limit);
}

} // namespace dorv
