// CPU load check.
#include "probes/cpu.h"

#include <algorithm>
#include <array>

#include "base/text_helpers.h"
#include "probes/host_forms.h"
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

namespace {

// A share as top prints it, "45" or "4.5", in tenths; i moves past it.
int share_tenths(std::string_view line, std::size_t& i)
{
    std::int64_t tenths = 0;
    for (; i < line.size() && is_digit(line[i]); ++i)
        tenths = std::min<std::int64_t>(tenths * 10 + (line[i] - '0'), 100000);
    tenths *= 10;
    if (i + 1 < line.size() && line[i] == '.' && is_digit(line[i + 1])) {
        tenths += line[i + 1] - '0';
        for (i += 1; i < line.size() && is_digit(line[i]); ++i) {
        }
    }
    return static_cast<int>(tenths);
}

constexpr std::array<std::string_view, 9> busy_labels = {"usr",  "sys",    "nic",       "irq", "sirq",
                                                         "user", "system", "interrupt", "nice"};

} // namespace

std::optional<int> top_cpu_busy_tenths(std::string_view line)
{
    if (!line.starts_with("CPU:"))
        return std::nullopt;
    int busy = 0;
    bool idle = false;
    bool any_busy = false;
    for (std::size_t i = 4; i < line.size();) {
        if (!is_digit(line[i])) {
            ++i;
            continue;
        }
        int tenths = share_tenths(line, i);
        if (i >= line.size() || line[i] != '%')
            continue;
        for (++i; i < line.size() && is_blank(line[i]); ++i) {
        }
        std::size_t start = i;
        for (; i < line.size() && line[i] >= 'a' && line[i] <= 'z'; ++i) {
        }
        std::string_view label = line.substr(start, i - start);
        if (label == "idle") {
            idle = true;
        } else if (std::find(busy_labels.begin(), busy_labels.end(), label) != busy_labels.end()) {
            busy += tenths;
            any_busy = true;
        }
    }
    if (!idle || !any_busy)
        return std::nullopt;
    return std::min(busy, 1000);
}

std::optional<int> parse_top_cpu(line_source& lines, std::string* why)
{
    std::string line;
    int frames = 0;
    std::optional<int> last;
    while (lines.next(line)) {
        if (std::optional<int> busy = top_cpu_busy_tenths(chomp(line))) {
            last = busy;
            ++frames;
        }
    }
    if (frames >= 2)
        return (*last + 5) / 10;
    if (why)
        *why = frames == 0 ? "printed no CPU line with an idle share"
                           : "printed one CPU line, no sample over an interval";
    return std::nullopt;
}

int params_cpu(param_array& param, std::size_t)
{
    param_number(param, "Load Limit [%]", 1, "200");
    return param.size();
}

namespace {

// The load of "vmstat 1 2". Without one, cause says why, and try_top whether top may have
// it: vmstat ended by itself with a failure status (there is none here, or it takes other
// options). A vmstat that hung or was killed says enough about the host.
std::optional<int> vmstat_load(std::string& cause, bool& try_top)
{
    command_pipe vmstat("vmstat 1 2");
    std::string why;
    std::optional<int> load = parse_vmstat(vmstat, &why);
    if (!vmstat.failure() && load)
        return load;
    cause = vmstat.cause(why);
    std::optional<int> exit = vmstat.exit_status();
    try_top = exit && *exit != 0;
    return std::nullopt;
}

// The load of top's CPU lines; without one, cause (when empty) says why.
std::optional<int> top_load(std::string& cause)
{
    command_pipe top(top_cpu_command);
    std::string why;
    std::optional<int> load = parse_top_cpu(top, &why);
    if (!top.failure() && load)
        return load;
    // A cause already there is vmstat's: it stands, and the trace has both.
    std::string top_cause = top.cause(why);
    if (cause.empty())
        cause = top_cause;
    return std::nullopt;
}

} // namespace

void run_cpu(const param_array& arg, int& status, std::string& result)
{
    if (arg.empty() || arg.key(0) != "Load Limit [%]")
        return;
    int limit = leading_int(arg.value(0));
    std::string cause;
    bool try_top = session_forms().cpu_from_top;
    std::optional<int> load = try_top ? std::nullopt : vmstat_load(cause, try_top);
    if (!load && try_top) {
        load = top_load(cause);
        if (load)
            session_forms().cpu_from_top = true;
    }
    if (!load) {
        result = cause;
        return;
    }
    status = *load <= limit ? 1 : 0;
    result = status ? "CPU load is " + std::to_string(*load)
                    : "CPU load " + std::to_string(*load) + " out of Limit " + std::to_string(limit);
}

} // namespace dorv
