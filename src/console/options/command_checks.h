// The checks of one command on the console's command line (its verb, its arguments, its
// limits and service name) and of discover's place among the commands and options.
#pragma once

#include <string>

#include "console/options/console_options.h"

namespace dorv {

// Whether v can name a service or host in a scheduler's line: not empty, no ';', no line end.
bool line_safe(const std::string& v);

// The command's verb known and given as many arguments as it takes, its limits valid and
// its service name line-safe; false, with error set, when not.
bool check_command(const console_command& c, std::string& error);

// discover alone, in a configuration format, with the host it configures; the other
// commands in a results format. False, with error set, when not.
bool check_discover(const console_options& o, std::string& error);

} // namespace dorv
