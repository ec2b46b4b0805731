// An agent that offers, after the built-in checks, two that no console is built with:
// "Fans", whose one parameter is a list, and "Mood", whose limit has no usual value.
// It speaks the real protocol through the agent's own channel and handlers.
#include <string>

#include "base/exit_causes.h"
#include "checks/registry.h"
#include "protocol/channel.h"
#include "protocol/descriptors.h"
#include "protocol/packet.h"
#include "protocol/session_id.h"

using namespace dorv;

namespace {

bool is_extra(const param_array& param, const char* name)
{
    return !param.empty() && param.value(0) == name;
}

void list_with_extras(const std::string& cmd, const param_array& param, param_array& reply)
{
    rpc_listchecks(cmd, param, reply);
    int n = std::stoi(reply.texts[1]);
    for (const char* name : {"Fans", "Mood"}) {
        ++n;
        array_add(reply, "checkid", n, name);
        array_add(reply, "checkdescription", n, std::string(name) + " of the host");
        array_add(reply, "available", n, "true");
    }
    reply.texts[1] = std::to_string(n);
}

void describe_extra(const std::string& name, param_array& reply)
{
    param_array list;
    if (name == "Fans")
        param_combo(list, "Fan", 1, {"fan1", "fan2"});
    else
        param_number(list, "Mood Limit", 1, "3");
    array_add(reply, "checkid", 0, name);
    array_add(reply, "parameters", 0, "\"" + dorv_pack(list) + "\"");
}

void run_extra(const param_array& param, param_array& reply)
{
    param_array args;
    dorv_unpack(param.value(1), args);
    std::string value = args.empty() ? "" : args.value(0);
    array_add(reply, "checkid", 0, param.value(0));
    array_add(reply, "result", 0, value == "fan2" ? "down" : "up");
    array_add(reply, "resultstring", 0, param.value(0) + " " + value + " is at 40%");
}

void answer(const std::string& cmd, const param_array& param, param_array& reply)
{
    bool extra = is_extra(param, "Fans") || is_extra(param, "Mood");
    if (cmd == "listchecks")
        list_with_extras(cmd, param, reply);
    else if (extra && (cmd == "definecheck" || cmd == "getcomboparamvalues"))
        describe_extra(param.value(0), reply);
    else if (extra && cmd == "runcheck" && param.pairs() > 1)
        run_extra(param, reply);
    else if (cmd == "definecheck")
        rpc_definecheck(cmd, param, reply);
    else if (cmd == "runcheck")
        rpc_runcheck(cmd, param, reply);
}

} // namespace

int main()
{
    try {
        generate_session_id();
        send_cmd("login", param_array{});
        param_array param, reply;
        while (std::optional<std::string> cmd = read_cmd(param)) {
            array_free(reply);
            answer(*cmd, param, reply);
            send_cmd(*cmd, reply);
        }
        return 0;
    } catch (const exit_request& e) {
        return e.status;
    }
}
