// One check's result as a scheduler records it, and the command-file line that carries it.
// Every way the console hands passive results on (printed lines, API requests, the
// results a host's process passes to a --hosts run) starts from these. Pure: no I/O.
#pragma once

#include <ctime>
#include <string>
#include <vector>

#include "console/results/run_result.h"

namespace dorv {

struct passive_result {
    std::string host;
    std::string service;
    int exit_status = exit_unknown;
    // The plugin line ("CPU OK - CPU load is 15"), then each line of long output after a
    // line feed.
    std::string output;
    std::vector<std::string> perfdata; // 'cpu_load'=15%;80;90;0;100 each
};

// The runs of one host as results, their performance data labelled as the plugin and
// passive formats label them.
std::vector<passive_result> passive_results(const std::vector<run_outcome>& runs, const std::string& host);

// One external command per result for the command file of the scheduler:
// "[TIME] PROCESS_SERVICE_CHECK_RESULT;HOST;SERVICE;STATE;OUTPUT|PERFDATA\n", the long
// output after the performance data, its line ends written "\n".
std::string passive_lines(const std::vector<passive_result>& results, std::time_t now);

} // namespace dorv
