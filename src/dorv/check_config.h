// "dorv --check-config [FILE]": reads a configuration file as the agent would and tells
// an administrator what is wrong with it and what each firewall entry admits.
#pragma once

#include <string>

namespace dorv {

// Puts one "FILE:LINE: problem" line per problem into out, then one line per firewall
// login.
// Returns 0 when there is no problem, 1 otherwise.
int check_config(const std::string& path, std::string& out);

} // namespace dorv
