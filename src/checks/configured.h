// The administrator's own checks at work: read from the configuration file and its
// drop-in files afresh for every request, listed after the built-in checks, described in
// the descriptor vocabulary and run as plugins, with every value checked before anything
// runs.
#pragma once

#include <string>
#include <vector>

#include "checks/check_section.h"
#include "protocol/param_array.h"

namespace dorv {

struct configured_checks {
    std::vector<configured_check> checks;
    std::vector<config_problem> problems;
};

// Reads the check sections of the configuration file at config_path and of the ".ini"
// files of its drop-in directory, in name order. A check from a file that others than
// root may change gets that as a problem, and does not run.
configured_checks load_configured_checks(const std::string& config_path);

// The check named name, or null.
const configured_check* find_configured(const configured_checks& all, const std::string& name);

// Whether listchecks offers the check as available: no problem, and a program that may run.
bool configured_available(const configured_check& c);

// Appends the check's parameter descriptors, packed within budget characters; a list-from
// list is gathered now.
void describe_configured(const configured_check& c, param_array& descriptors, std::size_t budget);

// Checks the console's values against the parameters, runs the plugin and fills reply.
void run_configured(const std::string& cmd, const configured_check& c, const param_array& args,
                    param_array& reply);

} // namespace dorv
