// The one interface through which the console's commands say what happened: every
// output format implements it, and the commands never ask which format is in use. The
// formats are named in one table (formats.cpp); each lives in a file of its own.
#pragma once

#include <cstdio>
#include <memory>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/replies/agent_replies.h"
#include "console/results/run_result.h"

namespace dorv {

// A command that failed, or never ran: what it was and why.
struct command_error {
    std::string verb;          // "list", "describe", "run", "run-all"
    std::string check;         // "" when the command names none
    std::string message;       // one line
    std::string service;       // the service of a run that failed; "" gives the check's name
    bool session_lost = false; // the agent's session failed here: no further answer came
};

class console_output {
  public:
    virtual ~console_output() = default;

    // The checks the agent offers.
    virtual void list(const std::vector<check_info>& offered) = 0;
    // The parameters of one check.
    virtual void describe(const std::string& check, const std::vector<param_info>& params) = 0;
    // The result of one run, its state judged.
    virtual void result(const run_outcome& r) = 0;
    // A command that failed.
    virtual void error(const command_error& e) = 0;
    // A run left out because the session failed before it; e.message says why.
    virtual void not_run(const command_error& e) = 0;
    // A check that run-all leaves out, with the reason.
    virtual void skipped(const std::string& check, const std::string& why) = 0;
    // A command line that is not valid.
    virtual void usage_error(const std::string& error) = 0;
    // The end of the invocation: what is held back until then is printed (or sent).
    virtual void finish() = 0;
    // False when results sent at the end were not all accepted where they went.
    virtual bool delivered() const { return true; }
};

class result_sink;

// Where a format prints and what it needs to know.
struct output_setup {
    std::FILE* out = stdout;
    std::FILE* err = stderr;
    std::optional<std::string> host;  // --host: the host of passive results
    result_sink* sink = nullptr;      // --submit: where passive results go instead of out
    double delivery_seconds = 30;     // the time all results of the run are given to reach sink
    std::string (*usage)() = nullptr; // the usage text a scheduler format shows after a usage error
};

// What most formats build on: text printed to the setup's streams, nothing held back to
// the end, a run left out not mentioned, and a usage error told on standard error.
class stream_output : public console_output {
  public:
    explicit stream_output(const output_setup& setup) : s_(setup) {}

    void not_run(const command_error&) override {}
    void usage_error(const std::string& error) override;
    void finish() override {}

  protected:
    void print(const std::string& text) { std::fputs(text.c_str(), s_.out); }
    // One line on standard error, after the program's name.
    void complain(const std::string& line) { std::fprintf(s_.err, "dorv-console: %s\n", line.c_str()); }
    // run-all leaving out check, said on standard error.
    void complain_skipped(const std::string& check, const std::string& why);

    output_setup s_;
};

struct host_facts;

// What a format prints: the results of the commands, or discover's configuration.
enum class format_use { results, configuration };

// Whether name is an output format, and whether it serves use; the names (of those that
// serve use, or all) joined, for a message (", " and " or ") or the usage text ("|").
bool is_format(const std::string& name);
bool format_serves(const std::string& name, format_use use);
// Whether the results of format name carry the host's name, which --host gives.
bool format_needs_host(const std::string& name);
std::string format_names(std::string_view separator, std::string_view last_separator,
                         std::optional<format_use> use = std::nullopt);
// Whether --hosts can give format name: each host's results whole, passed on by the parent.
bool fleet_format(const std::string& name);
// The format whose results name their host (passive): what --submit sends, and what a
// fleet gives unless asked for another.
std::string host_results_format();

// Discover's configuration of facts in format name; "" for a format that prints none.
std::string configuration_text(const std::string& name, const host_facts& facts);

// The format used when none is asked for (human).
std::string default_format();

// The output of format name; the default format's when name prints no results.
std::unique_ptr<console_output> make_output(const std::string& name, const output_setup& setup);

} // namespace dorv
