// Disk space check: the used share of one mount point, from df.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "probes/command.h"
#include "protocol/descriptors.h"

namespace dorv {

// The mount points that df lists, in its order, and the capacity (used share in percent)
// of the last listed one equal to the mount point asked for (0 when none is).
struct disk_list {
    std::vector<std::string> mounts;
    int capacity = 0;
    bool listed = false; // a line named the mount point asked for
};

// Parses df output. The list keeps at most disks_max - 1 mount points (the last entry of
// the caller's list is its terminator); later lines still count for the capacity.
disk_list parse_df(line_source& lines, const std::optional<std::string>& free, int disks_max);

// "/usr/xpg4/bin/df -P" where that file exists, else "/bin/df".
std::string df_command();

// Runs df and parses its output. When df gave nothing to use (it could not run, did not
// finish in time, was killed, or listed no file system) problem says why, naming the
// command, and the trace has the line; otherwise problem is left empty. A df that fails
// for one file system but lists others gives those.
disk_list read_disks(const std::optional<std::string>& free, int disks_max, std::string& problem);

// read_disks for the list: fills disks and returns the capacity of `free` (0 when free
// is absent, not listed, or df gave nothing).
int get_disks(std::vector<std::string>& disks, int disks_max, const std::optional<std::string>& free);

int params_diskspace(param_array& param, std::size_t budget = unbounded);
void run_diskspace(const param_array& arg, int& status, std::string& result);

} // namespace dorv
