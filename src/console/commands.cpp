// The console's commands over one agent session.
#include "console/commands.h"

#include <ctime>

#include "console/plugin_output.h"
#include "console/run_request.h"
#include "console/text.h"
#include "console/thresholds.h"
#include "protocol/packet.h"

namespace dorv {

bool console_run::command(const console_command& c)
{
    if (c.verb == "list")
        return list();
    if (c.verb == "describe")
        return describe(c.args[0]);
    if (c.verb == "run-all")
        return run_all();
    return run(c);
}

void console_run::session_failed(const console_command& c, const std::string& message)
{
    report_error(c.verb, c.args.empty() ? "" : c.args[0], message, fallback_service(c));
}

void console_run::not_run(const console_command& c, const std::string& why)
{
    if (c.verb == "run" && (o_.format == output_format::plugin || o_.format == output_format::passive))
        report_error(c.verb, c.args[0], "not run: " + why, fallback_service(c));
}

void console_run::finish()
{
    if (o_.format == output_format::plugin && !outcomes_.empty())
        print(plugin_report(outcomes_));
    else if (o_.format == output_format::passive && !o_.submit)
        print(passive_lines(outcomes_, *o_.host, std::time(nullptr)));
}

void console_run::report_error(const std::string& verb, const std::string& check, const std::string& message,
                               const std::string& service)
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

bool console_run::list()
{
    param_array reply;
    if (!client_.request("listchecks", param_array{}, reply)) {
        report_error("list", "", client_.error());
        return false;
    }
    auto offered = parse_checklist(reply);
    print(o_.format == output_format::json ? json_list(offered) : human_list(offered));
    states_.push_back(check_state::up);
    return true;
}

std::optional<std::vector<param_info>> console_run::parameters(const std::string& verb,
                                                               const std::string& check, bool& session)
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

std::string console_run::unknown_check(const std::string& check, const std::string& answer)
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

bool console_run::check_name_ok(const std::string& verb, const std::string& check)
{
    if (can_travel(check))
        return true;
    report_error(verb, check, "a check name may not contain '#' or '\"'");
    return false;
}

bool console_run::describe(const std::string& check)
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

bool console_run::run_all()
{
    param_array reply;
    if (!client_.request("listchecks", param_array{}, reply)) {
        report_error("run-all", "", client_.error());
        return false;
    }
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
            if (auto v = default_value(c.name, p))
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

std::optional<std::vector<param_info>> console_run::run_parameters(const std::string& check, bool& cached,
                                                                   bool& session)
{
    session = true;
    cached = false;
    if (auto it = params_.find(check); it != params_.end())
        return it->second;
    if (auto from_cache = cache_.find(check)) {
        cached = true;
        return from_cache;
    }
    return parameters("run", check, session);
}

std::optional<param_array> console_run::bind_and_send(const console_command& c,
                                                      const std::vector<param_info>& params, run_outcome& r,
                                                      bool& answered, bool& session)
{
    const std::string& check = c.args[0];
    std::string message;
    std::optional<param_array> args = bind_run(c, params, message);
    session = true;
    if (!args)
        report_error("run", check, message, fallback_service(c));
    else if (!send_run(client_, check, *args, r, answered)) {
        report_error("run", check, client_.error(), fallback_service(c));
        session = false;
        return std::nullopt;
    }
    return args;
}

bool console_run::run(const console_command& c)
{
    const std::string& check = c.args[0];
    if (!check_name_ok("run", check))
        return true;
    bool cached = false;
    bool session = true;
    std::optional<std::vector<param_info>> params = run_parameters(check, cached, session);
    if (!params)
        return session;
    run_outcome r;
    r.check = check;
    bool answered = false;
    std::optional<param_array> args;
    if (cached) {
        // Parameters from the cache that the agent does not take: ask it again.
        std::string message;
        if ((args = bind_run(c, *params, message)) && !send_run(client_, check, *args, r, answered)) {
            report_error("run", check, client_.error(), fallback_service(c));
            return false;
        }
        if (!answered) {
            cache_.store(check, nullptr);
            if (!(params = parameters("run", check, session)))
                return session;
        }
    }
    if (!answered && !(args = bind_and_send(c, *params, r, answered, session)))
        return session;
    params_[check] = *params;
    r.args = *args;
    r.service = service_of(c, *params, *args);
    record(c, std::move(r));
    return true;
}

void console_run::record(const console_command& c, run_outcome r)
{
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
}

} // namespace dorv
