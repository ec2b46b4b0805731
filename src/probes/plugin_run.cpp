// Running a plugin and reading its output.
#include "probes/plugin_run.h"

#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "base/child.h"
#include "base/exit_causes.h"
#include "base/trace.h"
#include "probes/command.h"
#include "probes/probe_path.h"

namespace dorv {

namespace {

// True at the deadline (the group is then killed); a console gone ends the agent.
bool stalled(wait_result w, child_process& child, const std::string& program)
{
    if (w == wait_result::watch_gone) {
        trace("connection closed while %s was running\n", escaped(program).c_str());
        end_agent(exit_connection_closed);
    }
    if (w != wait_result::timeout)
        return false;
    child.kill();
    return true;
}

// Reads the output to its end, keeping the first plugin_output_limit bytes; false at the
// deadline.
bool read_output(child_process& child, deadline_t deadline, plugin_run& run, const std::string& program)
{
    static char chunk[16384];
    for (;;) {
        if (stalled(child.wait_output(deadline, g_probe_watch_fd), child, program))
            return false;
        ssize_t n = ::read(child.output().get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return true;
        std::size_t room = plugin_output_limit - run.output.size();
        std::size_t got = static_cast<std::size_t>(n);
        run.output.append(chunk, std::min(room, got));
        run.cut = run.cut || got > room;
    }
}

} // namespace

std::vector<std::string> plugin_environment()
{
    return {"PATH=" + probe_path(std::getenv("PATH")), "LC_ALL=C"};
}

plugin_run run_plugin(const std::vector<std::string>& argv, int timeout_seconds)
{
    plugin_run run;
    const std::string& program = argv.at(0);
    deadline_t deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    child_setup setup;
    setup.argv = argv;
    setup.env = plugin_environment();
    child_process child;
    std::string error;
    if (!child.start(setup, error)) {
        run.cause = error;
        trace("%s\n", escaped(run.cause).c_str());
        return run;
    }
    run.output.reserve(4096);
    bool in_time = read_output(child, deadline, run, program);
    child.output().reset();
    if (in_time)
        in_time = !stalled(child.wait_exit(deadline, g_probe_watch_fd), child, program);
    if (!in_time) {
        run.outcome = plugin_run::timed_out;
        run.cause = program + " did not finish within " + std::to_string(timeout_seconds) + " s";
        trace("%s\n", escaped(run.cause).c_str());
        return run;
    }
    int st = child.status().value_or(0);
    if (WIFSIGNALED(st)) {
        run.outcome = plugin_run::signalled;
        run.code = WTERMSIG(st);
        run.cause = program + " was ended by " + describe_wait_status(st);
        trace("%s\n", escaped(run.cause).c_str());
    } else {
        run.outcome = plugin_run::exited;
        run.code = WEXITSTATUS(st);
    }
    return run;
}

} // namespace dorv
