// Binding, sending and naming one run.
#include "console/run_request.h"

#include "console/thresholds.h"
#include "protocol/packet.h"

namespace dorv {

std::optional<param_array> bind_run(const console_command& c, const std::vector<param_info>& params,
                                    std::string& message)
{
    const std::string& check = c.args[0];
    std::vector<std::string> values(c.args.begin() + 1, c.args.end());
    bool limit_first = !params.empty() && params[0].is_number();
    if ((c.critical || c.warning) && (!limit_first || (c.warning && !figure_rule_for(check)))) {
        message = check + " takes no -w or -c: its first parameter is no limit";
        return std::nullopt;
    }
    if (c.critical)
        values.insert(values.begin(), params[0].name + "=" + *c.critical);
    return bind_values(check, params, values, message);
}

namespace {

// The state and text of a runcheck reply; false when it carries no result.
bool read_result(const param_array& reply, run_outcome& r)
{
    std::string result, text, error;
    for (int i = 0; i < reply.pairs(); ++i) {
        if (reply.key(i) == "result")
            result = reply.value(i);
        else if (reply.key(i) == "resultstring")
            text = reply.value(i);
        else if (reply.key(i) == "errormessage")
            error = reply.value(i);
    }
    if (error.empty() && (result == "up" || result == "down")) {
        r.state = result == "up" ? check_state::up : check_state::down;
        r.text = text;
        return true;
    }
    r.state = check_state::unknown;
    r.text = r.check + " gave no result (the agent answered \"" +
             (error.empty() ? "result=" + result : error) + "\")";
    return false;
}

} // namespace

run_attempt run_check(agent_session& session, const console_command& c, const std::vector<param_info>& params)
{
    run_attempt a;
    a.outcome.check = c.args[0];
    std::optional<param_array> args = bind_run(c, params, a.message);
    if (!args) {
        a.end = run_end::bad_values;
        a.outcome.service = fallback_service(c);
        return a;
    }
    param_array own;
    array_add(own, "checkid", 0, c.args[0]);
    array_add(own, "para", 0, quoted(dorv_pack(*args)));
    param_array reply;
    if (!session.request("runcheck", own, reply, a.message)) {
        a.end = run_end::session_lost;
        a.outcome.service = fallback_service(c);
        return a;
    }
    a.outcome.service = service_of(c, params, *args);
    a.outcome.args = std::move(*args);
    a.end = read_result(reply, a.outcome) ? run_end::answered : run_end::refused;
    return a;
}

std::string service_of(const console_command& c, const std::vector<param_info>& params,
                       const param_array& args)
{
    if (c.service)
        return *c.service;
    for (std::size_t i = 0; i < params.size() && static_cast<int>(i) < args.pairs(); ++i)
        if (params[i].is_list())
            return c.args[0] + " " + args.value(static_cast<int>(i));
    return c.args[0];
}

std::string fallback_service(const console_command& c)
{
    if (c.service)
        return *c.service;
    if (c.verb != "run" || c.args.empty())
        return "";
    std::string last;
    for (std::size_t i = 1; i < c.args.size(); ++i) {
        std::string v = c.args[i].substr(c.args[i].find('=') + 1);
        if (!parse_limit(v))
            last = v;
    }
    return c.args[0] + (last.empty() ? "" : " " + last);
}

} // namespace dorv
