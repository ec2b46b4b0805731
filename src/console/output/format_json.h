// The JSON texts of the json format: one object per command. Pure: every function
// returns the text to print.
#pragma once

#include <string>
#include <vector>

#include "console/replies/agent_replies.h"
#include "console/results/run_result.h"

namespace dorv {

std::string json_list(const std::vector<check_info>& offered);
std::string json_describe(const std::string& check, const std::vector<param_info>& params);
std::string json_run(const run_outcome& r);
// {"command": "run-all", "check": check, "skipped": why}
std::string json_skipped(const std::string& check, const std::string& why);
// {"command": verb, "check": check (when not empty), "status": "unknown", "error": message}
std::string json_error(const std::string& verb, const std::string& check, const std::string& message);

} // namespace dorv
