// Passive results sent somewhere other than standard output: to the Icinga 2 REST API
// (process-check-result), one kept HTTPS connection for all results of a run. The API
// client needs libcurl, which the console started for every check does without (it would
// slow every start): a console built without it hands a --submit run over to
// dorv-console-submit, the same console built with it.
#pragma once

#include <chrono>
#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "console/options/options.h"
#include "console/output/passive_result.h"
#include "console/output/result_sink.h"
#include "console/results/run_result.h"

namespace dorv {

// The JSON body of a process-check-result request for r.
std::string check_result_body(const passive_result& r, const std::string& source, int ttl);

// The API's own words from its JSON answer: the "status" of its first result, else its
// top-level "status"; "" when there is none.
std::string api_status(const std::string& body);

// The most of an API's reply that is kept; a longer one is not the API's answer.
inline constexpr std::size_t api_reply_keep = 65536;

// The Icinga 2 API client for s. Nothing, with error set, when the settings cannot be used
// (a password file that cannot be read); nothing with error empty in a console built
// without it.
std::unique_ptr<result_sink> make_result_sink(const submit_options& s, std::string& error);

// Runs the same command line in dorv-console-submit (beside the running program, or in
// ../libexec/dorv); returns only when that fails, with the exit status to give.
int run_submitting_console(const std::string& self_path, const std::vector<std::string>& args,
                           std::FILE* err);

} // namespace dorv
