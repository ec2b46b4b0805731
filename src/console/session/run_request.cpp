// Binding, sending and naming one run.
#include "console/session/run_request.h"

#include "console/figures/figures.h"
#include "console/output/perfdata.h"
#include "console/replies/agent_replies.h"
#include "protocol/packet.h"
#include "protocol/plugin_reply.h"

namespace dorv {

std::optional<param_array> bind_run(const console_command& c, const std::vector<param_info>& params,
                                    std::string& message)
{
    const std::string& check = c.args[0];
    std::vector<std::string> values(c.args.begin() + 1, c.args.end());
    bool limit_first = !params.empty() && params[0].is_number();
    if ((c.critical || c.warning) && !limit_first) {
        message = check + " takes no -w or -c: its first parameter is no limit";
        return std::nullopt;
    }
    const check_figure* rule = figure_rule_for(check);
    const bool own_critical = c.critical && judged_by_console(*c.critical);
    if ((c.warning || own_critical) && !rule) {
        message = check + " takes no -w and no range on -c: its result carries no figure the console "
                          "knows (the check judges its own limit)";
        return std::nullopt;
    }
    // A -c range is the console's to judge: the agent gets a limit its figure never passes.
    if (c.critical)
        values.insert(values.begin(),
                      params[0].name + "=" + (own_critical ? never_firing_limit(rule->kind) : *c.critical));
    return bind_values(check, params, values, message);
}

namespace {

const std::string* value_of(const param_array& reply, std::string_view key)
{
    for (int i = 0; i < reply.pairs(); ++i)
        if (reply.key(i) == key)
            return &reply.value(i);
    return nullptr;
}

// The plugin's state word as the console's state.
std::optional<check_state> plugin_state(const std::string& word)
{
    const check_state states[] = {check_state::up, check_state::warning, check_state::down,
                                  check_state::unknown};
    for (std::size_t i = 0; i < std::size(plugin_states); ++i)
        if (word == plugin_states[i])
            return states[i];
    return std::nullopt;
}

// The reply of a configured check, which carries the plugin's state: its texts travel
// escaped, and the plugin's performance data and long output come with them. False, the
// state unknown and the text the plugin's first line or the cause, when it gave no result.
bool read_plugin_result(const param_array& reply, const std::string& state, run_outcome& r)
{
    auto text = [&](std::string_view key) {
        const std::string* v = value_of(reply, key);
        return v ? unescape_plugin_text(*v) : std::string();
    };
    std::optional<check_state> s = plugin_state(state);
    std::string error = text("errormessage");
    if (!s || *s == check_state::unknown || !error.empty() || !value_of(reply, "result")) {
        r.state = check_state::unknown;
        r.text =
            error.empty() ? r.check + " gave no result (the agent answered \"state=" + state + "\")" : error;
        return false;
    }
    r.state = *s;
    r.text = text("resultstring");
    r.perf = parse_perfdata(text(perfdata_key));
    r.long_output = text(long_output_key);
    return true;
}

// The state and text of a runcheck reply; false when it carries no result.
bool read_result(const param_array& reply, run_outcome& r)
{
    if (const std::string* state = value_of(reply, state_key))
        return read_plugin_result(reply, *state, r);
    const std::string* result = value_of(reply, "result");
    const std::string* error = value_of(reply, "errormessage");
    const bool erred = error && !error->empty();
    if (!erred && result && (*result == "up" || *result == "down")) {
        r.state = *result == "up" ? check_state::up : check_state::down;
        const std::string* text = value_of(reply, "resultstring");
        r.text = text ? *text : "";
        return true;
    }
    r.state = check_state::unknown;
    r.text = r.check + " gave no result (the agent answered \"" +
             (erred ? *error : "result=" + (result ? *result : "")) + "\")";
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

std::string list_service(const std::string& check, const std::string& item)
{
    std::string name = check;
    name.append(" ").append(item);
    return name;
}

std::string service_of(const console_command& c, const std::vector<param_info>& params,
                       const param_array& args)
{
    if (c.service)
        return *c.service;
    for (std::size_t i = 0; i < params.size() && static_cast<int>(i) < args.pairs(); ++i)
        if (params[i].is_list())
            return list_service(c.args[0], args.value(static_cast<int>(i)));
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
    return last.empty() ? c.args[0] : list_service(c.args[0], last);
}

} // namespace dorv
