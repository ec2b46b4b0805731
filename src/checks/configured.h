// The administrator's own checks at work: read from the configuration file and its
// drop-in files afresh for every request, listed after the built-in checks, described in
// the descriptor vocabulary and run as plugins, with every value checked before anything
// runs.
#pragma once

#include <optional>
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
// files of its drop-in directory, in name order. Each file's path is judged before it is
// read: a drop-in file that others than root may change (or that is no regular file) is
// not read at all; the checks of such a configuration file get that as a problem.
configured_checks load_configured_checks(const std::string& config_path);

// The check named name, or null.
const configured_check* find_configured(const configured_checks& all, const std::string& name);

// Why the check runs no program of its own, neither its command nor a list's program: its
// first problem, or a program that may not run. Nothing for a check that may run.
std::optional<std::string> configured_problem(const configured_check& c);

// What the console is told of a check that does not run: its name and its problem.
std::string refusal_text(const configured_check& c, const std::string& problem);

// Appends the check's parameter descriptors, packed within budget characters; a list-from
// list is gathered now. A check with a problem is described with no values in its list
// and runs nothing.
void describe_configured(const configured_check& c, param_array& descriptors, std::size_t budget);

// Checks the console's values against the parameters, runs the plugin and fills reply.
void run_configured(const std::string& cmd, const configured_check& c, const param_array& args,
                    param_array& reply);

} // namespace dorv
