// The console's commands over one agent session.
#include "console/session/commands.h"

#include <algorithm>

#include "console/figures/figures.h"
#include "console/output/perfdata.h"
#include "console/replies/agent_replies.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// Whether two descriptions name the same parameters of the same kinds (the cache keeps
// no list values).
bool same_parameters(const std::vector<param_info>& a, const std::vector<param_info>& b)
{
    return std::equal(a.begin(), a.end(), b.begin(), b.end(), [](const param_info& x, const param_info& y) {
        return x.name == y.name && x.type == y.type && x.maxlength == y.maxlength;
    });
}

} // namespace

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
    lose({c.verb, c.args.empty() ? "" : c.args[0], message, fallback_service(c)});
}

void console_run::not_run(const console_command& c)
{
    if (c.verb != "run")
        return;
    states_.push_back(check_state::unknown);
    out_.not_run({c.verb, c.args[0], lost_.value_or(""), fallback_service(c)});
}

void console_run::fail(const command_error& e)
{
    states_.push_back(check_state::unknown);
    out_.error(e);
}

void console_run::lose(const command_error& e)
{
    lost_ = e.message;
    command_error told = e;
    told.session_lost = true;
    fail(told);
}

std::optional<std::vector<check_info>> console_run::offered(const std::string& verb)
{
    param_array reply;
    std::string error;
    if (!session_.request("listchecks", param_array{}, reply, error)) {
        lose({verb, "", error, ""});
        return std::nullopt;
    }
    return parse_checklist(reply);
}

bool console_run::list()
{
    auto checks = offered("list");
    if (!checks)
        return false;
    out_.list(*checks);
    states_.push_back(check_state::up);
    return true;
}

std::optional<std::vector<param_info>> console_run::parameters(const std::string& verb,
                                                               const std::string& check)
{
    if (auto it = params_.find(check); it != params_.end())
        return it->second;
    param_array own;
    array_add(own, "checkid", 0, check);
    param_array reply;
    std::string error;
    if (!session_.request("definecheck", own, reply, error)) {
        lose({verb, check, error, ""});
        return std::nullopt;
    }
    if (!reply.empty() && reply.key(0) == "errormessage") {
        fail({verb, check, unknown_check(check, reply.value(0)), ""});
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
    std::string error;
    if (session_.request("listchecks", param_array{}, reply, error)) {
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
    fail({verb, check, "a check name may not contain '#' or '\"'", ""});
    return false;
}

bool console_run::describe(const std::string& check)
{
    if (!check_name_ok("describe", check))
        return true;
    auto params = parameters("describe", check);
    if (!params)
        return !lost_;
    out_.describe(check, *params);
    states_.push_back(check_state::up);
    return true;
}

std::optional<std::vector<std::string>> console_run::usual_values(const std::string& check,
                                                                  const std::vector<param_info>& params)
{
    std::vector<std::string> values;
    for (const auto& p : params) {
        std::optional<std::string> v = default_value(check, p);
        if (!v) {
            out_.skipped(check, "no usual value for \"" + p.name + "\"");
            return std::nullopt;
        }
        values.push_back(p.name + "=" + *v);
    }
    return values;
}

bool console_run::run_all()
{
    auto checks = offered("run-all");
    if (!checks)
        return false;
    for (const auto& c : *checks) {
        auto params = parameters("run", c.name);
        if (!params) {
            if (lost_)
                return false;
            continue;
        }
        auto values = usual_values(c.name, *params);
        if (!values)
            continue;
        console_command one{"run", {c.name}, {}, {}, {}};
        one.args.insert(one.args.end(), values->begin(), values->end());
        if (!run(one))
            return false;
    }
    return true;
}

bool console_run::run(const console_command& c)
{
    const std::string& check = c.args[0];
    if (!check_name_ok("run", check))
        return true;
    std::optional<std::vector<param_info>> params;
    bool cached = false;
    if (auto it = params_.find(check); it != params_.end())
        params = it->second;
    else if ((params = cache_.find(check)))
        cached = true;
    else if (!(params = parameters("run", check)))
        return !lost_;
    run_attempt a = run_check(session_, c, *params);
    if (cached && (a.end == run_end::refused || a.end == run_end::bad_values)) {
        // Parameters from the cache that the agent may no longer take: ask it again, and
        // run again only when they changed (a check that failed is not run twice).
        cache_.store(check, nullptr);
        std::optional<std::vector<param_info>> fresh = parameters("run", check);
        if (!fresh)
            return !lost_;
        if (a.end == run_end::bad_values || !same_parameters(*params, *fresh))
            a = run_check(session_, c, *fresh);
        params = std::move(fresh);
    }
    return finish_run(c, *params, std::move(a));
}

bool console_run::finish_run(const console_command& c, const std::vector<param_info>& params, run_attempt a)
{
    switch (a.end) {
    case run_end::bad_values:
        fail({"run", c.args[0], a.message, a.outcome.service});
        return true;
    case run_end::session_lost:
        lose({"run", c.args[0], a.message, a.outcome.service});
        return false;
    case run_end::answered:
    case run_end::refused:
        break;
    }
    params_[c.args[0]] = params;
    record(c, std::move(a.outcome));
    return true;
}

void console_run::record(const console_command& c, run_outcome r)
{
    r.warning = c.warning;
    r.critical = c.critical;
    std::string note;
    r.state = judge_limits(r, note);
    if (!note.empty())
        r.text += " (" + note + ")";
    // Performance data the answer did not bring comes from the figure of a built-in check.
    if (r.perf.empty())
        r.perf = figure_perf(r);
    states_.push_back(r.state);
    out_.result(r);
}

} // namespace dorv
