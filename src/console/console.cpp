// The console program: one agent session for the command line.
#include "console/console.h"

#include <signal.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <optional>

#include "base/child.h"
#include "base/exit_causes.h"
#include "console/companions/companion.h"
#include "console/discover/discover.h"
#include "console/fleet/host_run.h"
#include "console/fleet/submit.h"
#include "console/options/options.h"
#include "console/output/format.h"
#include "console/results/run_result.h"
#include "console/session/client.h"
#include "console/session/commands.h"
#include "console/session/param_cache.h"
#include "console/transport/ssh_reuse.h"

namespace dorv {

namespace {

// The Icinga 2 API client for --submit; nothing, after saying why, when it cannot be had.
// A console built without it runs the command line in the one built with it instead.
std::unique_ptr<result_sink> open_sink(const console_options& o, const std::string& self_path,
                                       const std::vector<std::string>& args, std::FILE* err)
{
    std::string error;
    std::unique_ptr<result_sink> sink = make_result_sink(*o.submit, error);
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

    auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(o.timeout));
    std::string reuse_note;
    const transport how = pick_transport({self_path, o.agent, o.ssh, o.ssh_options, o.remote_command,
                                          o.reuse < 0 ? default_reuse_seconds : o.reuse, deadline, o.verbose},
                                         reuse_note);
    console_client client(how, deadline, o.timeout, o.verbose);
    if (o.verbose && !reuse_note.empty())
        std::fprintf(err, "dorv-console: %s\n", reuse_note.c_str());
    if (o.commands[0].verb == "discover")
        return discover_host(client, {o.format, o.host.value_or(""), o.all_mounts}, out, err);
    param_cache cache(param_cache::default_path(), how.key);
    std::unique_ptr<console_output> output = make_output(o.format, {out, err, o.host, sink, o.timeout});
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
    std::vector<std::string> own_args = args;
    std::optional<host_entry> one_host = take_host_process_args(own_args);
    std::optional<console_options> o = parse_options(own_args, error);
    if (!o) {
        make_output(requested_format(args), {out, err, std::nullopt, nullptr, 30, usage_text})
            ->usage_error(error);
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
    // An agent that hangs up must show as its exit status, not kill the console.
    ::signal(SIGPIPE, SIG_IGN);
    if (one_host)
        return run_host_process(
            *o, *one_host,
            [&](const console_options& h, result_sink* sink, std::FILE* printed, std::FILE* messages) {
                return run_one(h, self_path, printed, messages, sink);
            },
            out, err);
    // The exporter is a program of its own, linked with its HTTP server library.
    if (o->commands[0].verb == "serve")
        return run_companion("dorv-exporter", "serve (the exporter)", self_path,
                             {"--console", console_path(self_path)}, args, err);
    std::unique_ptr<result_sink> sink;
    if (o->submit && !(sink = open_sink(*o, self_path, args, err)))
        return exit_unknown;
    if (o->hosts) {
        // Each host runs in this console again, started afresh: it inherits no descriptor of
        // the run or of the other hosts.
        const std::string self = running_executable().value_or(self_path);
        return run_host_list(
            *o,
            [&](const host_entry& host) {
                std::vector<std::string> argv = host_process_args(host, args);
                argv.insert(argv.begin(), self);
                return argv;
            },
            sink.get(), out, err);
    }
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
