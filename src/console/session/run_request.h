// One run of a check: its values bound to the check's parameters, the runcheck request
// and its reply, and the service name its result goes to.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/options/options.h"
#include "console/replies/agent_replies.h"
#include "console/results/run_result.h"
#include "console/session/agent_session.h"

namespace dorv {

// The values of the run command c bound to params: -c as the first parameter (which must
// then be a number field; a -c range, which the console judges, goes as a limit that never
// fires, and like -w needs a check whose result carries a figure), the other values in
// order. Nothing, with message set, when they do not fit.
std::optional<param_array> bind_run(const console_command& c, const std::vector<param_info>& params,
                                    std::string& message);

// How one run ended.
enum class run_end {
    answered,     // the agent ran the check: the outcome holds its state and text
    refused,      // the agent answered with an error instead of a result; the outcome tells it
    bad_values,   // the values do not fit the parameters (nothing was sent); message says why
    session_lost, // the session failed; message says how
};

struct run_attempt {
    run_end end = run_end::session_lost;
    run_outcome outcome; // check, values and service; state and text once the agent answered
    std::string message;
};

// Runs the run command c with the parameters params: binds its values, sends runcheck and
// reads the reply.
run_attempt run_check(agent_session& session, const console_command& c,
                      const std::vector<param_info>& params);

// The service of a run of check whose list has the value item, as the passive format
// names it: "DiskSpace /var".
std::string list_service(const std::string& check, const std::string& item);

// The service name of a run: --service, else the check followed by the value of its list
// parameter (the mount point, the process name).
std::string service_of(const console_command& c, const std::vector<param_info>& params,
                       const param_array& args);

// The service name of a run whose values were never bound: --service, else the check and
// the last value that is not a number (the disk or process as a rule).
std::string fallback_service(const console_command& c);

} // namespace dorv
