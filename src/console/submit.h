// Passive results sent somewhere other than standard output: to the Icinga 2 REST API
// (process-check-result), one kept HTTPS connection for all results of a run. The API
// client needs libcurl, which the console started for every check does without (it would
// slow every start): a console built without it hands a --submit run over to
// dorv-console-submit, the same console built with it.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/options.h"
#include "console/output.h"

namespace dorv {

// One check's result as a scheduler records it.
struct passive_result {
    std::string host;
    std::string service;
    int exit_status = exit_unknown;
    std::string output;                // the plugin line: "CPU OK - CPU load is 15"
    std::vector<std::string> perfdata; // 'cpu_load'=15%;80;90;0;100 each
};

// The runs of one host as results, their performance data labelled as the plugin and
// passive formats label them.
std::vector<passive_result> passive_results(const std::vector<run_outcome>& runs, const std::string& host);

// A command-file line back as a result: "[TIME] PROCESS_SERVICE_CHECK_RESULT;HOST;SERVICE;
// STATE;OUTPUT|PERFDATA" (the performance data one item, as the console writes one per
// check). Nothing for another line.
std::optional<passive_result> parse_passive_line(const std::string& line);

// The JSON body of a process-check-result request for r.
std::string check_result_body(const passive_result& r, const std::string& source, int ttl);

// The API's own words from its JSON answer: the "status" of its first result, else its
// top-level "status"; "" when there is none.
std::string api_status(const std::string& body);

class result_sink {
  public:
    virtual ~result_sink() = default;
    // Sends one result; "" when it was accepted, else why not.
    virtual std::string send(const passive_result& r) = 0;
};

// The Icinga 2 API client for s, each request bounded by timeout seconds. Nothing, with
// error set, when the settings cannot be used (a password file that cannot be read);
// nothing with error empty in a console built without it.
std::unique_ptr<result_sink> make_result_sink(const submit_options& s, double timeout, std::string& error);

// Sends every result, says on err which were not accepted and why; their count.
std::size_t deliver(result_sink& sink, const std::vector<passive_result>& results, std::FILE* err);

// Runs the same command line in dorv-console-submit (beside the running program, or in
// ../libexec/dorv); returns only when that fails, with the exit status to give.
int run_submitting_console(const std::string& self_path, const std::vector<std::string>& args,
                           std::FILE* err);

} // namespace dorv
