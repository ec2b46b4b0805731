// Check table and request handlers.
#include "checks/registry.h"

#include "base/exit_causes.h"
#include "base/trace.h"
#include "checks/catalog.h"
#include "checks/configured.h"
#include "config/config.h"
#include "probes/cpu.h"
#include "probes/disk.h"
#include "probes/memory.h"
#include "probes/processes.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/plugin_text.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// A built-in check: its catalog row's name and description with its builder and runner.
constexpr check_t built_in(catalog_index i, params_fn params, run_fn run)
{
    return {check_catalog[i].name, check_catalog[i].desc, params, run};
}

// The problem of a configured check that does not run, told beside its description:
// escaped as its other texts are, and cut so that the descriptors keep their room.
void add_problem(const std::string& text, param_array& reply)
{
    constexpr std::size_t max_problem = 1024;
    std::string escaped_text = escape_plugin_text(text);
    escaped_text.resize(escaped_cut(escaped_text, max_problem));
    array_add(reply, problem_key, 0, escaped_text);
}

} // namespace

const check_t checks[] = {
    built_in(catalog_cpu, params_cpu, run_cpu),
    built_in(catalog_diskspace, params_diskspace, run_diskspace),
    built_in(catalog_ram, params_ram, run_ram),
    built_in(catalog_swap, params_swap, run_swap),
    built_in(catalog_processes, params_processes, run_processes),
    {},
};

int rpc_listchecks(const std::string& cmd, const param_array&, param_array& reply)
{
    array_add(reply, "checkcount", 0, "");
    int n = 0;
    for (const check_t* row = checks; row->name; ++row) {
        ++n;
        array_add(reply, "checkid", n, row->name);
        array_add(reply, "checkdescription", n, row->desc);
        array_add(reply, "available", n, "true");
    }
    constexpr std::size_t count_digits = 4; // "checkcount" is written last
    const configured_checks configured = load_configured_checks(g_config_path);
    for (const auto& c : configured.checks) {
        // A check is listed whole or not at all, while the reply stays one packet.
        const char* available = configured_problem(c) ? "false" : "true";
        std::size_t row_length = packed_pair_length("checkid", n + 1, c.name) +
                                 packed_pair_length("checkdescription", n + 1, c.description) +
                                 packed_pair_length("available", n + 1, available);
        if (!fits_packet(reply_length(cmd, reply) + row_length + count_digits)) {
            trace("listchecks: %s and the checks after it left out: the reply is full\n", c.name.c_str());
            break;
        }
        ++n;
        array_add(reply, "checkid", n, c.name);
        array_add(reply, "checkdescription", n, c.description);
        array_add(reply, "available", n, available);
    }
    reply.texts[1] = std::to_string(n);
    return reply.size();
}

int check_params(const std::string& cmd, const std::string& checkname, param_array& reply)
{
    const check_t* row = find_named(checks, checkname);
    configured_checks configured;
    const configured_check* own = nullptr;
    if (!row) {
        configured = load_configured_checks(g_config_path);
        own = find_configured(configured, checkname);
    }
    if (!row && !own) {
        array_add(reply, "errormessage", 0, "Check not found");
        return reply.size();
    }
    param_array descriptors;
    array_add(reply, "checkid", 0, checkname);
    if (own)
        if (auto problem = configured_problem(*own))
            add_problem(refusal_text(*own, *problem), reply);
    // The packed list travels between two double quotes.
    std::size_t budget = room_inside_quotes(room_for_last_value(cmd, reply, "parameters"));
    if (row)
        row->params(descriptors, budget);
    else
        describe_configured(*own, descriptors, budget);
    std::string param_string = quoted(dorv_pack(descriptors));
    cut_to(param_string, max_text);
    array_free(descriptors);
    array_add(reply, "parameters", 0, param_string);
    return reply.size();
}

int rpc_definecheck(const std::string& cmd, const param_array& param, param_array& reply)
{
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_definecheck_no_checkid);
    return check_params(cmd, param.value(0), reply);
}

int rpc_getcombo(const std::string& cmd, const param_array& param, param_array& reply)
{
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_getcombo_no_checkid);
    return check_params(cmd, param.value(0), reply);
}

void rpc_runcheck(const std::string& cmd, const param_array& param, param_array& reply)
{
    std::string resultstring = "No result";
    int status = -1;
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_runcheck_no_checkid);
    const std::string& name = param.value(0);
    if (param.pairs() < 2 || param.key(1) != "para")
        end_agent(exit_runcheck_no_para);

    // The runner gets whatever pairs the decoder stored, also from an incomplete text.
    param_array args;
    dorv_unpack(param.value(1), args);

    const check_t* row = find_named(checks, name);
    if (!row) {
        configured_checks configured = load_configured_checks(g_config_path);
        if (const configured_check* own = find_configured(configured, name))
            run_configured(cmd, *own, args, reply);
        else
            array_add(reply, "errormessage", 0, "Check not found");
        return;
    }
    row->run_check(args, status, resultstring);
    if (status == -1) {
        add_last_value(cmd, reply, "errormessage", resultstring);
        return;
    }
    array_add(reply, "checkid", 0, name);
    array_add(reply, "result", 0, status != 0 ? "up" : "down");
    add_last_value(cmd, reply, "resultstring", resultstring);
}

} // namespace dorv
