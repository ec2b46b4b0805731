// The console's commands over one agent session.
#include "console/console.h"

#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstring>
#include <ctime>
#include <map>
#include <optional>

#include "console/catalog.h"
#include "console/client.h"
#include "console/options.h"
#include "console/output.h"
#include "console/param_cache.h"
#include "console/plugin_output.h"
#include "console/run_request.h"
#include "console/text.h"
#include "console/thresholds.h"
#include "probes/child.h"
#include "protocol/packet.h"

namespace dorv {

std::string default_agent_path(const std::string& self_path)
{
    std::string self = self_path;
    char buf[PATH_MAX];
    if (ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1); n > 0)
        self.assign(buf, static_cast<std::size_t>(n));
    auto slash = self.rfind('/');
    // Started through PATH: the agent is found the same way.
    if (slash == std::string::npos)
        return "dorv";
    return self.substr(0, slash + 1) + "dorv";
}

namespace {

class console_run {
public:
    console_run(const console_options& o, console_client& client, param_cache& cache, std::FILE* out,
                std::FILE* err)
        : o_(o), client_(client), cache_(cache), out_(out), err_(err)
    {
    }

    // Runs one command; false when the session has failed and nothing more can run.
    bool command(const console_command& c)
    {
        if (c.verb == "list")
            return list();
        if (c.verb == "describe")
            return describe(c.args[0]);
        if (c.verb == "run-all")
            return run_all();
        return run(c);
    }

    // Reports a failure of the whole session for the command that met it.
    void session_failed(const console_command& c, const std::string& message)
    {
        report_error(c.verb, c.args.empty() ? "" : c.args[0], message, fallback_service(c));
    }

    // In plugin and passive format, the run commands that the failed session left out
    // are unknown too: each service hears of it.
    void not_run(const console_command& c, const std::string& why)
    {
        if (c.verb == "run" && (o_.format == output_format::plugin || o_.format == output_format::passive))
            report_error(c.verb, c.args[0], "not run: " + why, fallback_service(c));
    }

    // Prints the results that plugin and passive format give all at once.
    void finish()
    {
        if (o_.format == output_format::plugin && !outcomes_.empty())
            print(plugin_report(outcomes_));
        else if (o_.format == output_format::passive)
            print(passive_lines(outcomes_, *o_.host, std::time(nullptr)));
    }

    const std::vector<check_state>& states() const { return states_; }

private:
    void print(const std::string& text) { std::fputs(text.c_str(), out_); }

    void report_error(const std::string& verb, const std::string& check, const std::string& message,
                      const std::string& service = "")
    {
        states_.push_back(check_state::unknown);
        switch (o_.format) {
        case output_format::json:
            print(json_error(verb, check, message));
            break;
        case output_format::plugin:
        case output_format::passive: {
            run_outcome r;
            r.check = check;
            r.text = message;
            r.service = service.empty() ? check : service;
            outcomes_.push_back(std::move(r));
            break;
        }
        case output_format::human:
            std::fprintf(err_, "dorv-console: %s\n", human_text(message).c_str());
            break;
        }
    }

    bool list()
    {
        param_array reply;
        if (!client_.request("listchecks", param_array{}, reply))
            return report_error("list", "", client_.error()), false;
        auto checks = parse_checklist(reply);
        print(o_.format == output_format::json ? json_list(checks) : human_list(checks));
        states_.push_back(check_state::up);
        return true;
    }

    // The parameters of a check, asked once per session. Nothing, after reporting why for
    // verb, when the check is unknown or the session failed (then session is false).
    std::optional<std::vector<param_info>> parameters(const std::string& verb, const std::string& check,
                                                      bool& session)
    {
        session = true;
        if (auto it = params_.find(check); it != params_.end())
            return it->second;
        param_array own;
        array_add(own, "checkid", 0, check);
        param_array reply;
        if (!client_.request("definecheck", own, reply)) {
            report_error(verb, check, client_.error());
            session = false;
            return std::nullopt;
        }
        if (!reply.empty() && reply.key(0) == "errormessage") {
            report_error(verb, check, unknown_check(check, reply.value(0)));
            return std::nullopt;
        }
        std::vector<param_info> params;
        for (int i = 0; i < reply.pairs(); ++i)
            if (reply.key(i) == "parameters")
                params = parse_descriptors(reply.value(i));
        cache_.store(check, &params);
        return params_[check] = params;
    }

    std::string unknown_check(const std::string& check, const std::string& answer)
    {
        std::string message = "unknown check \"" + check + "\" (the agent answered \"" + answer + "\")";
        param_array reply;
        if (client_.request("listchecks", param_array{}, reply)) {
            std::string names;
            for (const auto& c : parse_checklist(reply))
                names += (names.empty() ? "" : ", ") + c.name;
            message = "unknown check \"" + check + "\" (the agent offers: " + names + ")";
        }
        return message;
    }

    bool check_name_ok(const std::string& verb, const std::string& check)
    {
        if (check.find_first_of("#\"") == std::string::npos)
            return true;
        report_error(verb, check, "a check name may not contain '#' or '\"'");
        return false;
    }

    bool describe(const std::string& check)
    {
        if (!check_name_ok("describe", check))
            return true;
        bool session = true;
        auto params = parameters("describe", check, session);
        if (!params)
            return session;
        print(o_.format == output_format::json ? json_describe(check, *params) : human_describe(check, *params));
        states_.push_back(check_state::up);
        return true;
    }

    bool run_all()
    {
        param_array reply;
        if (!client_.request("listchecks", param_array{}, reply))
            return report_error("run-all", "", client_.error()), false;
        for (const auto& c : parse_checklist(reply)) {
            bool session = true;
            auto params = parameters("run", c.name, session);
            if (!params) {
                if (!session)
                    return false;
                continue;
            }
            std::string message;
            std::vector<std::string> values;
            for (const auto& p : *params) {
                if (auto v = default_value(p))
                    values.push_back(p.name + "=" + *v);
                else
                    message = "run-all has no value for \"" + p.name + "\"";
            }
            if (!message.empty()) {
                report_error("run", c.name, message);
                continue;
            }
            console_command one{"run", {c.name}, {}, {}, {}};
            one.args.insert(one.args.end(), values.begin(), values.end());
            if (!run(one))
                return false;
        }
        return true;
    }

    bool run(const console_command& c)
    {
        const std::string& check = c.args[0];
        if (!check_name_ok("run", check))
            return true;
        // Parameters known from this session, else from the cache, else from the agent.
        std::optional<std::vector<param_info>> params;
        bool cached = false;
        if (auto it = params_.find(check); it != params_.end())
            params = it->second;
        else if ((params = cache_.find(check)))
            cached = true;
        bool session = true;
        if (!params && !(params = parameters("run", check, session)))
            return session;
        std::string message;
        std::optional<param_array> args = bind_run(c, *params, message);
        if (!args && !cached)
            return report_error("run", check, message, fallback_service(c)), true;

        run_outcome r;
        r.check = check;
        bool answered = false;
        if (args && !send_run(client_, check, *args, r, answered))
            return report_error("run", check, client_.error(), fallback_service(c)), false;
        if (cached && !answered) {
            // The agent does not take what its description gave last time: ask it again.
            cache_.store(check, nullptr);
            if (!(params = parameters("run", check, session)))
                return session;
            if (!(args = bind_run(c, *params, message)))
                return report_error("run", check, message, fallback_service(c)), true;
            if (!send_run(client_, check, *args, r, answered))
                return report_error("run", check, client_.error(), fallback_service(c)), false;
        }
        params_[check] = *params;
        r.args = *args;
        r.service = service_of(c, *params, *args);
        if (c.warning)
            r.warning = parse_limit(*c.warning);
        std::string note;
        r.state = judge_warning(r, note);
        if (!note.empty())
            r.text += " (" + note + ")";
        states_.push_back(r.state);
        switch (o_.format) {
        case output_format::json:
            print(json_run(r));
            break;
        case output_format::plugin:
        case output_format::passive:
            outcomes_.push_back(std::move(r));
            break;
        case output_format::human:
            print(human_run(r));
            break;
        }
        return true;
    }

    const console_options& o_;
    console_client& client_;
    param_cache& cache_;
    std::FILE* out_;
    std::FILE* err_;
    std::vector<check_state> states_;
    std::map<std::string, std::vector<param_info>> params_;
    std::vector<run_outcome> outcomes_;  // plugin and passive format print them at the end
};

// Where the parameters of this agent are kept: the destination and command for ssh,
// the binary for a local agent.
std::string cache_key(const transport& how)
{
    std::string key;
    for (const auto& a : how.argv)
        key += (key.empty() ? "" : " ") + a;
    return key;
}

int run_session(const std::string& self_path, const std::vector<std::string>& args, std::FILE* out,
                std::FILE* err)
{
    std::string error;
    std::optional<console_options> o = parse_options(args, error);
    if (!o) {
        output_format f = requested_format(args);
        if (f == output_format::plugin || f == output_format::passive) {
            std::fprintf(out, "DORV UNKNOWN - %s (see --help)\n", plugin_text(error).c_str());
            std::fprintf(err, "dorv-console: %s\n\n%s", error.c_str(), usage_text().c_str());
        } else {
            std::fprintf(err, "dorv-console: %s (see --help)\n", error.c_str());
        }
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
    // A scheduler's own timeout or a Ctrl-C ends the agent (or ssh) along with the console.
    end_children_on_signals();

    transport how = o->ssh ? ssh_transport(*o->ssh, o->ssh_options, o->remote_command)
                           : local_transport(o->agent.value_or(default_agent_path(self_path)));
    auto deadline = std::chrono::steady_clock::now() +
                    std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                        std::chrono::duration<double>(o->timeout));
    console_client client(how, deadline, o->timeout, o->verbose);
    param_cache cache(param_cache::default_path(), cache_key(how));
    console_run runner(*o, client, cache, out, err);

    std::size_t done = 0;
    if (!client.open()) {
        runner.session_failed(o->commands[0], client.error());
        done = 1;
    } else {
        while (done < o->commands.size())
            if (!runner.command(o->commands[done++]))
                break;
        client.close();
    }
    for (std::size_t i = done; i < o->commands.size(); ++i)
        runner.not_run(o->commands[i], client.error());
    runner.finish();
    std::fflush(out);
    if (done < o->commands.size())
        std::fprintf(err, "dorv-console: %zu further command%s not run\n", o->commands.size() - done,
                     o->commands.size() - done == 1 ? "" : "s");
    auto states = runner.states();
    if (done < o->commands.size())
        states.push_back(check_state::unknown);
    return combined_exit(states);
}

}  // namespace

int run_console(const std::string& self_path, const std::vector<std::string>& args, std::FILE* out,
                std::FILE* err)
{
    int status = run_session(self_path, args, out, err);
    // Output that did not reach its reader is no result: a scheduler would read nothing.
    if (std::fflush(out) != 0 || std::ferror(out)) {
        std::fprintf(err, "dorv-console: cannot write the output: %s\n", std::strerror(errno));
        return exit_unknown;
    }
    return status;
}

}  // namespace dorv
