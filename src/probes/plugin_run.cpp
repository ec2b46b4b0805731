// Running a plugin and reading its output.
#include "probes/plugin_run.h"

#include <fcntl.h>
#include <sys/wait.h>

#include <cerrno>
#include <cstdlib>

#include "base/child.h"
#include "base/exit_causes.h"
#include "base/orphans.h"
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

// The first plugin_errors_limit bytes of the plugin's error output, and how many more came.
struct error_excerpt {
    std::string kept;
    std::size_t dropped = 0;

    void add(const char* bytes, std::size_t n)
    {
        std::size_t room = plugin_errors_limit - kept.size();
        kept.append(bytes, std::min(room, n));
        dropped += n - std::min(room, n);
    }
};

enum class drained { more, ended, empty };

// Reads what the pipe holds now, without blocking, into got; closes it at its end.
drained read_some(unique_fd& fd, std::string_view& got)
{
    static char chunk[16384];
    for (;;) {
        ssize_t n = ::read(fd.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            got = std::string_view(chunk, static_cast<std::size_t>(n));
            return drained::more;
        }
        if (n < 0 && errno == EAGAIN)
            return drained::empty;
        fd.reset();
        return drained::ended;
    }
}

// Takes one chunk of the error output, when it is open and holds one.
drained read_errors(child_process& child, error_excerpt& errors)
{
    std::string_view got;
    drained d = child.errors() ? read_some(child.errors(), got) : drained::ended;
    if (d == drained::more)
        errors.add(got.data(), got.size());
    return d;
}

// Reads the output to its end, keeping the first plugin_output_limit bytes, and the error
// output meanwhile, a chunk of each whenever either can be read; false at the deadline.
bool read_output(child_process& child, deadline_t deadline, plugin_run& run, error_excerpt& errors,
                 const std::string& program)
{
    for (;;) {
        if (stalled(child.wait_output(deadline, g_probe_watch_fd), child, program))
            return false;
        read_errors(child, errors);
        std::string_view got;
        drained d = read_some(child.output(), got);
        if (d == drained::ended)
            return true;
        std::size_t room = plugin_output_limit - run.output.size();
        run.output.append(got.substr(0, room));
        run.cut = run.cut || got.size() > room;
    }
}

// One trace line per run for what the plugin wrote to its error output: escaped, so that
// it can neither add lines nor carry terminal escapes, and cut to plugin_errors_limit.
void trace_errors(const std::string& program, error_excerpt& errors)
{
    if (errors.kept.empty())
        return;
    if (errors.dropped == 0 && errors.kept.back() == '\n')
        errors.kept.pop_back();
    std::string more = errors.dropped ? " (" + std::to_string(errors.dropped) + " more bytes left out)" : "";
    trace("%s wrote to its error output: %s%s\n", escaped(program).c_str(), escaped(errors.kept).c_str(),
          more.c_str());
}

// Makes our end of the pipe non-blocking: both pipes are read as far as they go whenever
// either can be read.
void set_nonblocking(const unique_fd& fd)
{
    ::fcntl(fd.get(), F_SETFL, ::fcntl(fd.get(), F_GETFL) | O_NONBLOCK);
}

} // namespace

std::vector<std::string> plugin_environment()
{
    return {"PATH=" + probe_path(std::getenv("PATH")), "LC_ALL=C"};
}

namespace {

plugin_run run_piped(const std::vector<std::string>& argv, int timeout_seconds)
{
    plugin_run run;
    const std::string& program = argv.at(0);
    deadline_t deadline = std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds);
    child_setup setup;
    setup.argv = argv;
    setup.env = plugin_environment();
    setup.pipe_errors = true;
    child_process child;
    std::string error;
    if (!child.start(setup, error)) {
        run.cause = error;
        trace("%s\n", escaped(run.cause).c_str());
        return run;
    }
    set_nonblocking(child.output());
    set_nonblocking(child.errors());
    run.output.reserve(4096);
    error_excerpt errors;
    bool in_time = read_output(child, deadline, run, errors, program);
    child.output().reset();
    if (in_time)
        in_time = !stalled(
            child.wait_exit(deadline, g_probe_watch_fd, &child.errors(), [&] { read_errors(child, errors); }),
            child, program);
    // What the error output still holds (a process left behind may keep it open) is
    // taken without waiting for its end, a bounded amount of it.
    for (int chunks = 0; chunks < 16 && read_errors(child, errors) == drained::more; ++chunks) {
    }
    child.errors().reset();
    trace_errors(program, errors);
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

} // namespace

plugin_run run_plugin(const std::vector<std::string>& argv, int timeout_seconds)
{
    plugin_run run = run_piped(argv, timeout_seconds);
    // What left the plugin's process group (a daemon it started) ends too, where the
    // platform lets the agent find it.
    end_adopted_children(std::chrono::steady_clock::now() + std::chrono::seconds(1));
    return run;
}

} // namespace dorv
