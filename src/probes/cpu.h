// CPU load check: user + system share of the last sample of "vmstat 1 2", or, on a host
// without vmstat (BusyBox), the busy share of top's last CPU line over a second.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "probes/command.h"
#include "protocol/descriptors.h"

namespace dorv {

// Columns to count back from the end of a sample line to reach "us", chosen by how the
// column header ends: 3 by default, 4 after "wa", 5 after "wa" and three more characters,
// 6 after "gu".
int vmstat_offset(std::string_view header);

// The load of vmstat's output: the header is its second line, the sample its fourth (or
// the last line printed when there are fewer). Nothing when the sample line holds too few
// numbers for the header's layout; why then says what was wrong ("printed nothing", ...).
std::optional<int> parse_vmstat(line_source& lines, std::string* why = nullptr);

// Where vmstat gives nothing: two frames of top one second apart. The first frame may
// cover a moment or the time since boot; the second covers the second between them.
inline constexpr const char* top_cpu_command = "top -d 1 -n 2 -b";

// The busy share of one top CPU line in tenths of a percent: the shares labelled usr, sys,
// nic, irq, sirq (BusyBox) or user, nice, system, interrupt (BSD) added, as vmstat's us and
// sy count them (I/O wait and idle time left out). Nothing unless the line begins with
// "CPU:" and holds an idle share and a busy one.
std::optional<int> top_cpu_busy_tenths(std::string_view line);

// The load of top's output: the busy share of its last CPU line, rounded. Nothing when it
// printed fewer than two (no sample over an interval); why then says what it printed.
std::optional<int> parse_top_cpu(line_source& lines, std::string* why = nullptr);

int params_cpu(param_array& param, std::size_t budget = unbounded);
void run_cpu(const param_array& arg, int& status, std::string& result);

} // namespace dorv
