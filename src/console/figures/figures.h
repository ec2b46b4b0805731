// Every rule about a check's figure: what the figure of its result text is, how the
// console judges -w and -c ranges against it, and the performance item it makes. The agent
// judges a plain -c, the check's own limit; a -c range and -w are the console's. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checks/catalog.h"
#include "console/figures/threshold_range.h"
#include "console/results/run_result.h"

namespace dorv {

// The figure a result text carries, for performance data.
struct figure {
    std::string label; // "load", "used", "free"
    long value = 0;
    std::string unit; // "%" or ""
};

// The figure of a known check's result text: the number marked '%', else the first number
// standing alone. Nothing for checks whose result carries none (Processes).
std::optional<figure> result_figure(const std::string& check, const std::string& text);

// The figure of a built-in check whose result carries one; nullptr for the others
// (Processes, and every check the catalog does not hold).
const check_figure* figure_rule_for(const std::string& check);

// Whether a -c value is judged by the console rather than the agent: a range is; a plain
// whole number is the check's own limit, which the agent judges.
bool judged_by_console(const std::string& critical);

// The limit sent to the agent in place of a -c range, so that the agent never judges the
// check down on its figure and leaves that to the console.
std::string never_firing_limit(figure_kind kind);

// The state of r once the console has judged its limits against the figure of its text:
// an up result whose figure alerts against a -c range is down, one that alerts against -w
// is a warning; every other state stays (a down from the agent, such as a disk that is not
// mounted, stays down). An up result with a limit to judge but no figure in its text is
// unknown, with note set. Limits are read on the scale of the check's own limit: the load
// for CPU, the free share for DiskSpace, RAM and Swap.
check_state judge_limits(const run_outcome& r, std::string& note);

// The performance data of a built-in check's run from the figure of its text (none when
// the result carries no figure or is unknown): 'cpu_load'=15%;80;90;0;100 for CPU, the
// mount point for a disk ('/'=18%;79;89;0;100, the used share, its limits turned into
// used shares), 'ram_free' and 'swap_free' for the memory checks ('ram_free'=61%;21:;11:;0;100
// for -w 20 -c 10: a free share of 20 or less alerts). Each threshold is the range that
// alerts exactly as the limit does, in its simplest form; warn is empty without -w.
std::vector<perf_value> figure_perf(const run_outcome& r);

} // namespace dorv
