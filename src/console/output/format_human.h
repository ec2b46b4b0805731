// The readable texts of the human format (lists and descriptions also in the scheduler
// formats). Pure: every function returns the text to print.
#pragma once

#include <string>
#include <vector>

#include "console/replies/agent_replies.h"
#include "console/results/run_result.h"

namespace dorv {

std::string human_list(const std::vector<check_info>& offered);
std::string human_describe(const std::string& check, const std::vector<param_info>& params);
std::string human_run(const run_outcome& r);

} // namespace dorv
