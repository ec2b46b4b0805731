// The console's commands (list, describe, run, run-all) over one agent session: what
// each asks the agent, and how its answer is printed in the chosen format.
#pragma once

#include <cstdio>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "console/catalog.h"
#include "console/client.h"
#include "console/options.h"
#include "console/output.h"
#include "console/param_cache.h"

namespace dorv {

class console_run {
  public:
    console_run(const console_options& o, console_client& client, param_cache& cache, std::FILE* out,
                std::FILE* err)
        : o_(o), client_(client), cache_(cache), out_(out), err_(err)
    {
    }

    // Runs one command; false when the session has failed and nothing more can run.
    bool command(const console_command& c);

    // Reports a failure of the whole session for the command that met it.
    void session_failed(const console_command& c, const std::string& message);

    // In plugin and passive format, the run commands that the failed session left out
    // are unknown too: each service hears of it.
    void not_run(const console_command& c, const std::string& why);

    // Prints the results that plugin and passive format give all at once.
    void finish();

    const std::vector<check_state>& states() const { return states_; }
    // The results that plugin and passive format keep for the end.
    const std::vector<run_outcome>& outcomes() const { return outcomes_; }

  private:
    void print(const std::string& text) { std::fputs(text.c_str(), out_); }

    void report_error(const std::string& verb, const std::string& check, const std::string& message,
                      const std::string& service = "");

    bool list();

    // The parameters of a check, asked once per session. Nothing, after reporting why for
    // verb, when the check is unknown or the session failed (then session is false).
    std::optional<std::vector<param_info>> parameters(const std::string& verb, const std::string& check,
                                                      bool& session);

    std::string unknown_check(const std::string& check, const std::string& answer);

    bool check_name_ok(const std::string& verb, const std::string& check);

    bool describe(const std::string& check);

    bool run_all();

    // The parameters of a run: known from this session, else from the cache (then cached
    // is set), else asked of the agent. Nothing as parameters() tells.
    std::optional<std::vector<param_info>> run_parameters(const std::string& check, bool& cached,
                                                          bool& session);

    // Binds and sends c; r then holds the agent's answer, a result or its error. Nothing,
    // after reporting why, when the values do not bind or the session failed (then
    // session is false).
    std::optional<param_array> bind_and_send(const console_command& c, const std::vector<param_info>& params,
                                             run_outcome& r, bool& answered, bool& session);

    bool run(const console_command& c);

    // Judges the warning limit of c against the result r and prints it, or keeps it for
    // the end.
    void record(const console_command& c, run_outcome r);

    const console_options& o_;
    console_client& client_;
    param_cache& cache_;
    std::FILE* out_;
    std::FILE* err_;
    std::vector<check_state> states_;
    std::map<std::string, std::vector<param_info>> params_;
    std::vector<run_outcome> outcomes_; // plugin and passive format print them at the end
};

} // namespace dorv
