// A run's data: the state of a result, its exit status, its performance data, and the
// outcome of one "run" as every output format and the fleet take it. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "protocol/param_array.h"

namespace dorv {

// A result's state: up is OK and down CRITICAL, as the agent says or as the console judges
// a -c range; warning, an up whose figure passed the console's warning limit; unknown, no
// result.
enum class check_state { up, warning, down, unknown };

// Plugin exit statuses.
inline constexpr int exit_up = 0;
inline constexpr int exit_warning = 1;
inline constexpr int exit_down = 2;
inline constexpr int exit_unknown = 3;

// One figure of performance data, its fields as they are written:
// 'label'=value[unit];warn;crit;min;max.
struct perf_value {
    std::string label;
    std::string value;
    std::string unit;
    std::string warn, crit, min, max; // "" where there is none
    // The item as the agent's answer wrote it; "" for a figure of the console's own. An
    // item that could not be read keeps only this, with an empty label.
    std::string written;
};

// The result of one "run": the state (up is OK, down CRITICAL), the one-line text or the
// error, its performance data and the lines of long output that follow it.
struct run_outcome {
    std::string check;
    param_array args; // the values sent, under their parameter names
    check_state state = check_state::unknown;
    std::string text; // the agent's result text, or the error
    std::vector<perf_value> perf;
    std::string long_output; // further lines, "" when none
    // -w and -c as given (a whole number or a range), when they were; without -c the
    // check's limit is the first of args.
    std::optional<std::string> warning, critical;
    std::string service; // the service name of a passive result
};

// The exit status of a session: the worst state, CRITICAL (2) before WARNING (1) before
// UNKNOWN (3) before OK (0).
int combined_exit(const std::vector<check_state>& states);
check_state worst_state(const std::vector<check_state>& states);
int state_exit(check_state s);

std::string state_name(check_state s); // "up", "warning", "down", "unknown"

// The value of r's argument i as the run command gave it: -c stands for the first, which
// the agent got as a limit that never fires when -c is a range the console judges.
const std::string& given_value(const run_outcome& r, int i);

} // namespace dorv
