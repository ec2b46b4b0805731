// Disk space check.
#include "probes/disk.h"

#include <sys/stat.h>

#include <vector>

#include "base/text_helpers.h"
#include "protocol/descriptors.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// The figure ending at the '%' at `percent`: its run of digits, read together with the one
// character before the run (white space skipped, a sign taken, anything else gives 0).
int capacity_figure(const std::string& line, std::size_t percent)
{
    std::size_t start = percent;
    while (start > 0 && is_digit(line[start - 1]))
        --start;
    if (start > 0) {
        char before = line[start - 1];
        bool space = is_space(before);
        if (!space && before != '-' && before != '+')
            return 0;
        if (before == '-' || before == '+')
            --start;
    }
    return leading_int(std::string_view(line).substr(start, percent - start));
}

} // namespace

disk_list parse_df(line_source& lines, const std::optional<std::string>& free, int disks_max)
{
    disk_list out;
    std::string line;
    while (lines.next(line)) {
        chomp(line);
        std::size_t percent = line.find('%');
        if (percent == std::string::npos || percent == 0 || !is_digit(line[percent - 1]))
            continue;
        std::size_t mount = percent + 1;
        while (mount < line.size() && line[mount] == ' ')
            ++mount;
        std::string point = line.substr(mount);
        if (free && *free == point) {
            out.capacity = capacity_figure(line, percent);
            out.listed = true;
        }
        if (static_cast<int>(out.mounts.size()) + 1 < disks_max)
            out.mounts.push_back(std::move(point));
    }
    return out;
}

std::string df_command()
{
    struct stat st;
    return ::stat("/usr/xpg4/bin/df", &st) == 0 ? "/usr/xpg4/bin/df -P" : "/bin/df";
}

disk_list read_disks(const std::optional<std::string>& free, int disks_max, std::string& problem)
{
    command_pipe df(df_command());
    disk_list found = parse_df(df, free, disks_max);
    if (df.failure() || found.mounts.empty())
        problem = df.cause("listed no file system");
    return found;
}

int get_disks(std::vector<std::string>& disks, int disks_max, const std::optional<std::string>& free)
{
    std::string problem;
    disk_list found = read_disks(free, disks_max, problem);
    disks = std::move(found.mounts);
    return found.capacity;
}

int params_diskspace(param_array& param, std::size_t budget)
{
    param_number(param, "Disk Free Limit [%]", 1, "100");
    std::vector<std::string> disks;
    get_disks(disks, max_entries, std::nullopt);
    // A mount point that cannot travel in the quoted list could not be named in a request
    // either: it is left out.
    std::erase_if(disks, [](const std::string& d) { return !can_travel(d); });
    param_combo(param, "Disks", 2, disks, budget);
    return param.size();
}

void run_diskspace(const param_array& arg, int& status, std::string& result)
{
    if (arg.empty() || arg.key(0) != "Disk Free Limit [%]")
        return;
    int limit = leading_int(arg.value(0));
    if (arg.pairs() < 2 || arg.key(1) != "Disks")
        return;
    const std::string& disk = arg.value(1);
    std::string problem;
    disk_list found = read_disks(disk, max_entries, problem);
    if (!problem.empty()) {
        result = problem;
        return;
    }
    if (!found.listed) {
        status = 0;
        result = "Disk " + disk + " is not mounted";
        return;
    }
    int used = found.capacity;
    // The limit is the least free share: a disk is up while more than that is free.
    status = 100 - std::int64_t{used} > limit ? 1 : 0;
    result = status ? "Disk " + disk + " is " + std::to_string(used) + "% used"
                    : "Out of disk space on disk " + disk + ": " + std::to_string(used) + "% used";
}

} // namespace dorv
