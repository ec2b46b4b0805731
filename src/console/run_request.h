// One run of a check: its values bound to the check's parameters, the runcheck request
// and its reply, and the service name its result goes to.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/catalog.h"
#include "console/client.h"
#include "console/options.h"
#include "console/output.h"

namespace dorv {

// The values of the run command c bound to params: -c as the first parameter (which must
// then be a number field, as -w needs a check whose result carries a figure), the other
// values in order. Nothing, with message set, when they do not fit.
std::optional<param_array> bind_run(const console_command& c, const std::vector<param_info>& params,
                                    std::string& message);

// Sends runcheck for check with args and reads the reply into r (state and text). False
// when the session failed. answered is false when the agent replied with an error instead
// of a result; r.text then tells it.
bool send_run(console_client& client, const std::string& check, const param_array& args, run_outcome& r,
              bool& answered);

// The service name of a run: --service, else the check followed by the value of its list
// parameter (the mount point, the process name).
std::string service_of(const console_command& c, const std::vector<param_info>& params,
                       const param_array& args);

// The service name of a run whose values were never bound: --service, else the check and
// the last value that is not a number (the disk or process as a rule).
std::string fallback_service(const console_command& c);

} // namespace dorv
