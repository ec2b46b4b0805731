// Check table and request handlers.
#include "checks/registry.h"

#include "base/exit_causes.h"
#include "checks/catalog.h"
#include "probes/cpu.h"
#include "probes/disk.h"
#include "probes/memory.h"
#include "probes/processes.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// A built-in check: its catalog row's name and description with its builder and runner.
constexpr check_t built_in(catalog_index i, params_fn params, run_fn run)
{
    return {check_catalog[i].name, check_catalog[i].desc, params, run};
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

int rpc_listchecks(const std::string&, const param_array&, param_array& reply)
{
    array_add(reply, "checkcount", 0, "");
    int n = 0;
    for (const check_t* row = checks; row->name; ++row) {
        ++n;
        array_add(reply, "checkid", n, row->name);
        array_add(reply, "checkdescription", n, row->desc);
        array_add(reply, "available", n, "true");
    }
    reply.texts[1] = std::to_string(n);
    return reply.size();
}

int check_params(const std::string& cmd, const std::string& checkname, param_array& reply)
{
    const check_t* row = find_named(checks, checkname);
    if (!row) {
        array_add(reply, "errormessage", 0, "Check not found");
        return reply.size();
    }
    param_array descriptors;
    array_add(reply, "checkid", 0, checkname);
    // The packed list travels between two double quotes.
    row->params(descriptors, room_inside_quotes(room_for_last_value(cmd, reply, "parameters")));
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
