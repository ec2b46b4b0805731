// Check table and request handlers.
#include "checks/registry.h"

#include "base/exit_causes.h"
#include "probes/cpu.h"
#include "probes/disk.h"
#include "probes/memory.h"
#include "probes/processes.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/reply_budget.h"

namespace dorv {

// The CPU load is the user and system share of the processor time, a percentage;
// DiskSpace tells the used share of its disk, RAM and Swap the free share of their memory.
const check_t checks[] = {
    {"CPU",
     "CPU Usage",
     params_cpu,
     run_cpu,
     {figure_kind::load, "load", "cpu_load", 0},
     "90",
     nullptr,
     nullptr},
    {"DiskSpace",
     "DiskSpace Usage",
     params_diskspace,
     run_diskspace,
     {figure_kind::used, "used", nullptr, 1},
     "10",
     "/",
     nullptr},
    {"RAM",
     "RAM Usage",
     params_ram,
     run_ram,
     {figure_kind::free, "free", "ram_free", 0},
     "10",
     nullptr,
     nullptr},
    {"Swap",
     "Swap Usage",
     params_swap,
     run_swap,
     {figure_kind::free, "free", "swap_free", 0},
     "10",
     nullptr,
     nullptr},
    {"Processes",
     "Running processes",
     params_processes,
     run_processes,
     {figure_kind::none, nullptr, nullptr, 0},
     nullptr,
     "dorv",
     "A process counts when its command, from the program name on, begins with the value; only the\n"
     "processes of the users in the agent's [agent] process_users count (default: root,dorv).\n"},
    {},
};

namespace {

const check_t* find_check(const std::string& name)
{
    for (const check_t* row = checks; row->name; ++row)
        if (name == row->name)
            return row;
    return nullptr;
}

} // namespace

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
    const check_t* row = find_check(checkname);
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

    const check_t* row = find_check(name);
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
