// The console's command line: options first, then one or more commands joined by "+".
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/options/console_options.h"

namespace dorv {

// Parses the arguments after the program name. Returns nothing, with error set, when they
// are not a valid command line. "--help" and "--version" alone are valid and set help or version.
std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error);

// The --format the arguments ask for, read leniently, so that a usage error can be told in
// that format: the default format when none is given or it names no format.
std::string requested_format(const std::vector<std::string>& args);

// The text of --help.
std::string usage_text();

} // namespace dorv
