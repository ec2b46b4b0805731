// The administrator's own checks at work: read from the configuration file and its
// drop-in files afresh for every request, listed after the built-in checks, described in
// the descriptor vocabulary and run as plugins, with every value checked before anything
// runs.
#pragma once

#include <memory>
#include <string>
#include <vector>

#include "checks/check_section.h"
#include "checks/offered_check.h"

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

// The checks of all as offered checks, in their order. Each judges once whether it may run
// and gathers each list at most once, so that one request runs a list program once.
std::vector<std::unique_ptr<offered_check>> offer_configured(configured_checks all);

} // namespace dorv
