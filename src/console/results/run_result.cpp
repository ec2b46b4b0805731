// The states of results and their exit statuses.
#include "console/results/run_result.h"

namespace dorv {

int state_exit(check_state s)
{
    switch (s) {
    case check_state::up:
        return exit_up;
    case check_state::warning:
        return exit_warning;
    case check_state::down:
        return exit_down;
    default:
        return exit_unknown;
    }
}

check_state worst_state(const std::vector<check_state>& states)
{
    for (check_state s : {check_state::down, check_state::warning, check_state::unknown})
        for (check_state t : states)
            if (t == s)
                return s;
    return check_state::up;
}

int combined_exit(const std::vector<check_state>& states)
{
    return state_exit(worst_state(states));
}

std::string state_name(check_state s)
{
    switch (s) {
    case check_state::up:
        return "up";
    case check_state::warning:
        return "warning";
    case check_state::down:
        return "down";
    default:
        return "unknown";
    }
}

const std::string& given_value(const run_outcome& r, int i)
{
    return i == 0 && r.critical ? *r.critical : r.args.value(i);
}

} // namespace dorv
