// The results of an invocation as a scheduler takes them: one monitoring-plugin result
// (format plugin), and the lines a passive result is made of. Pure: the functions return
// the text to print.
#pragma once

#include <string>
#include <vector>

#include "console/results/run_result.h"

namespace dorv {

// "OK", "WARNING", "CRITICAL", "UNKNOWN".
std::string plugin_word(check_state s);

// One run's line without performance data: "CPU WARNING - CPU load is 85", its text made
// one safe line.
std::string plugin_line(const run_outcome& r);

// The run's long output, each line made safe and put after a line feed: "\nline\nline";
// "" when there is none.
std::string long_output_lines(const run_outcome& r);

// The plugin result of all runs. One run gives its line and its performance data:
// "CPU OK - CPU load is 15 | 'cpu_load'=15%;;90;0;100". Several give one status line with
// the worst state, the count of each state and the service names of the ones not OK,
// and every run's performance data after its '|'; then one line per run (long output).
std::string plugin_report(const std::vector<run_outcome>& runs);

} // namespace dorv
