// One probe's console run: dorv-console as a child (through child_process, the one owner
// of the processes dorv starts), its standard output read until it ends or the deadline
// passes, when its whole process group is killed.
#pragma once

#include <string>
#include <vector>

#include "base/child.h"

namespace dorv {

struct probe_run {
    std::string output;    // what the console printed
    bool complete = false; // its output ended before the deadline
    std::string error;     // why it could not be started; "" when it was
};

// Runs argv with the exporter's environment; at most max_bytes of output are kept.
probe_run run_probe(const std::vector<std::string>& argv, deadline_t deadline, std::size_t max_bytes);

} // namespace dorv
