// The console program: one agent session for the command line.
#include "console/console.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/child.h"
#include "base/exit_causes.h"
#include "console/client.h"
#include "console/commands.h"
#include "console/companion.h"
#include "console/format.h"
#include "console/host_run.h"
#include "console/options.h"
#include "console/output.h"
#include "console/param_cache.h"
#include "console/self_exe.h"
#include "console/ssh_reuse.h"
#include "console/submit.h"

namespace dorv {

std::string default_agent_path(const std::string& self_path)
{
    std::string self = running_executable().value_or(self_path);
    auto slash = self.rfind('/');
    // Started through PATH: the agent is found the same way.
    if (slash == std::string::npos)
        return "dorv";
    return self.substr(0, slash + 1) + "dorv";
}

namespace {

// Where the parameters of this agent are kept: the destination and command for ssh,
// the binary for a local agent.
std::string cache_key(const transport& how)
{
    std::string key;
    for (const auto& a : how.argv)
        key += (key.empty() ? "" : " ") + a;
    return key;
}

// The Icinga 2 API client for --submit; nothing, after saying why, when it cannot be had.
// A console built without it runs the command line in the one built with it instead.
std::unique_ptr<result_sink> open_sink(const console_options& o, const std::string& self_path,
                                       const std::vector<std::string>& args, std::FILE* err)
{
    std::string error;
    std::unique_ptr<result_sink> sink = make_result_sink(*o.submit, o.timeout, error);
    if (!sink && error.empty())
        std::exit(run_submitting_console(self_path, args, err));
    if (!sink)
        std::fprintf(err, "dorv-console: %s\n", error.c_str());
    return sink;
}

// One agent session for o's commands, its results printed to out or sent to sink.
int run_one(const console_options& o, const std::string& self_path, std::FILE* out, std::FILE* err,
            result_sink* sink)
{
    // A scheduler's own timeout or a Ctrl-C ends the agent (or ssh) along with the console.
    end_children_on_signals();

    transport how = o.ssh ? ssh_transport(*o.ssh, o.ssh_options, o.remote_command)
                          : local_transport(o.agent.value_or(default_agent_path(self_path)));
    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(o.timeout));
    std::string reuse_note;
    console_client client(
        with_reuse(how, o.reuse < 0 ? default_reuse_seconds : o.reuse, deadline, reuse_note), deadline,
        o.timeout, o.verbose);
    if (o.verbose && !reuse_note.empty())
        std::fprintf(err, "dorv-console: %s\n", reuse_note.c_str());
    param_cache cache(param_cache::default_path(), cache_key(how));
    std::unique_ptr<console_output> output = make_output(o.format, {out, err, o.host, sink});
    console_run runner(client, cache, *output);

    std::size_t done = 0;
    std::string error;
    if (!client.open(error)) {
        runner.session_failed(o.commands[0], error);
        done = 1;
    } else {
        while (done < o.commands.size())
            if (!runner.command(o.commands[done++]))
                break;
        client.close();
    }
    for (std::size_t i = done; i < o.commands.size(); ++i)
        runner.not_run(o.commands[i]);
    runner.finish();
    std::fflush(out);
    if (done < o.commands.size())
        std::fprintf(err, "dorv-console: %zu further command%s not run\n", o.commands.size() - done,
                     o.commands.size() - done == 1 ? "" : "s");
    auto states = runner.states();
    if (done < o.commands.size())
        states.push_back(check_state::unknown);
    // A result that did not arrive is no result: the run failed whatever the checks said.
    return output->delivered() ? combined_exit(states) : exit_unknown;
}

int run_session(const std::string& self_path, const std::vector<std::string>& args, std::FILE* out,
                std::FILE* err)
{
    std::string error;
    std::optional<console_options> o = parse_options(args, error);
    if (!o) {
        make_output(requested_format(args), {out, err, std::nullopt})->usage_error(error);
        return exit_unknown;
    }
    if (o->help) {
        std::fputs(usage_text().c_str(), out);
        return 0;
    }
    if (o->version) {
        std::fputs("dorv-console " DORV_VERSION "\n", out);
        return 0;
    }
    // The exporter is a program of its own, linked with its HTTP server library.
    if (o->commands[0].verb == "serve")
        return run_companion("dorv-exporter", "serve (the exporter)", self_path,
                             {"--console", console_path(self_path)}, args, err);
    std::unique_ptr<result_sink> sink;
    if (o->submit && !(sink = open_sink(*o, self_path, args, err)))
        return exit_unknown;
    // An agent that hangs up must show as its exit status, not kill the console.
    ::signal(SIGPIPE, SIG_IGN);
    if (o->hosts)
        return run_host_list(
            *o,
            [&](const console_options& host, std::FILE* messages) {
                return run_one(host, self_path, stdout, messages, nullptr);
            },
            sink.get(), out, err);
    return run_one(*o, self_path, out, err, sink.get());
}

} // namespace

int run_console(const std::string& self_path, const std::vector<std::string>& args, std::FILE* out,
                std::FILE* err)
{
    int status = exit_unknown;
    try {
        status = run_session(self_path, args, out, err);
    } catch (const exit_request&) {
        // The shared parameter array ends the agent when it is full; here it ends the run.
        std::fprintf(err, "dorv-console: too many pairs for one parameter array\n");
    }
    // Output that did not reach its reader is no result: a scheduler would read nothing.
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "dorv-console: cannot write the output: %s\n", std::strerror(errno));
        return exit_unknown;
    }
    return status;
}

} // namespace dorv
