// The console's commands (list, describe, run, run-all) over one agent session: what
// each asks the agent, and what it tells the output.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

#include "console/options/options.h"
#include "console/output/format.h"
#include "console/replies/agent_replies.h"
#include "console/session/agent_session.h"
#include "console/session/param_cache.h"
#include "console/session/run_request.h"

namespace dorv {

class console_run {
  public:
    console_run(agent_session& session, param_cache& cache, console_output& out)
        : session_(session), cache_(cache), out_(out)
    {
    }

    // Runs one command; false when the session has failed and nothing more can run.
    bool command(const console_command& c);

    // The session could not be opened: c, the first command, fails with message.
    void session_failed(const console_command& c, const std::string& message);

    // A command that the failed session left out.
    void not_run(const console_command& c);

    // Ends the output: what a format holds back until the end is printed.
    void finish() { out_.finish(); }

    // The state of every command so far, for the exit status.
    const std::vector<check_state>& states() const { return states_; }

  private:
    void fail(const command_error& e);
    // The session has failed during verb: reported, and no further request is made.
    void lose(const command_error& e);

    // The checks the agent offers; nothing, after reporting why for verb, when the session
    // failed.
    std::optional<std::vector<check_info>> offered(const std::string& verb);

    bool list();
    bool describe(const std::string& check);
    bool run_all();
    bool run(const console_command& c);

    bool check_name_ok(const std::string& verb, const std::string& check);

    // The parameters of a check, asked of the agent once per session. Nothing, after
    // reporting why for verb, when the check is unknown or the session failed.
    std::optional<std::vector<param_info>> parameters(const std::string& verb, const std::string& check);
    std::string unknown_check(const std::string& check, const std::string& answer);

    // The values run-all gives check's parameters; nothing, after saying so, when it has
    // no value for one of them.
    std::optional<std::vector<std::string>> usual_values(const std::string& check,
                                                         const std::vector<param_info>& params);

    // Reports how the run c ended; false when the session failed.
    bool finish_run(const console_command& c, const std::vector<param_info>& params, run_attempt a);

    // Judges the warning limit of c against the result r and hands it to the output.
    void record(const console_command& c, run_outcome r);

    agent_session& session_;
    param_cache& cache_;
    console_output& out_;
    std::vector<check_state> states_;
    std::map<std::string, std::vector<param_info>> params_;
    std::optional<std::string> lost_; // how the session failed, once it has
};

} // namespace dorv
