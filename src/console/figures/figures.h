// Every rule about a check's figure: what the figure of its result text is, how the
// console judges a warning limit against it, and the performance item it makes. The agent judges CRITICAL
// with the check's own limit; the console only lowers an OK to WARNING. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "checks/catalog.h"
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

// The state of r once its warning limit is judged against the figure of its text: an up
// result whose figure passed the warning limit is a warning; every other state stays.
// An up result with a warning limit but no figure in its text is unknown, with note set.
check_state judge_warning(const run_outcome& r, std::string& note);

// The limit as a threshold on the figure's own scale: the free-share limits of a used
// share become used shares (100 - limit); the others stay as they are.
long threshold_on_scale(figure_kind kind, long limit);

// The performance data of a built-in check's run from the figure of its text (none when
// the result carries no figure or is unknown): 'cpu_load'=15%;80;90;0;100 for CPU, the
// mount point for a disk ('/'=18%;80;90;0;100, the used share with the free-share limits
// turned into used shares), 'ram_free' and 'swap_free' for the memory checks. warn is
// empty without a warning limit.
std::vector<perf_value> figure_perf(const run_outcome& r);

} // namespace dorv
