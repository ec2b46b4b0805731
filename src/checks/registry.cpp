// Request handlers.
#include "checks/registry.h"

#include <map>

#include "base/exit_causes.h"
#include "base/trace.h"
#include "checks/check_list.h"
#include "config/config.h"
#include "probes/mount_types.h"
#include "protocol/descriptors.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/plugin_reply.h"
#include "protocol/reply_budget.h"

namespace dorv {

namespace {

// Why a check does not run, told beside its description: escaped as its other texts are,
// and cut so that the descriptors keep their room.
void add_problem(const std::string& text, param_array& reply)
{
    constexpr std::size_t max_problem = 1024;
    std::string escaped_text = escape_plugin_text(text);
    escaped_text.resize(escaped_cut(escaped_text, max_problem));
    array_add(reply, problem_key, 0, escaped_text);
}

// The "filesystems" pair of a check whose list is the mount points listed in descriptors.
void add_filesystems(const std::string& cmd, const param_array& descriptors, param_array& reply)
{
    const std::map<std::string, std::string> types = mount_types();
    if (types.empty())
        return;
    param_array nested;
    int n = 0;
    for (const auto& p : parse_descriptors(dorv_pack(descriptors)))
        for (const auto& mount : p.values) {
            auto t = types.find(mount);
            const bool known = t != types.end() && can_travel(t->second);
            array_add(nested, "fstype", ++n, known ? t->second : "");
        }
    const std::string value = quoted(dorv_pack(nested));
    if (n > 0 && fits_packet(reply_length(cmd, reply) + packed_pair_length(filesystems_key, 0, value)))
        array_add(reply, filesystems_key, 0, value);
}

// Whether the request asks for the file system types.
bool wants_filesystems(const param_array& request)
{
    for (int i = 0; i < request.pairs(); ++i)
        if (request.key(i) == filesystems_key && request.value(i) == "1")
            return true;
    return false;
}

} // namespace

int rpc_listchecks(const std::string& cmd, const param_array&, param_array& reply)
{
    array_add(reply, "checkcount", 0, "");
    int n = 0;
    constexpr std::size_t count_digits = 4; // "checkcount" is written last
    check_list offered(g_config_path);
    for (const auto& c : offered.all()) {
        // A check is listed whole or not at all, while the reply stays one packet.
        const char* available = c->refusal() ? "false" : "true";
        std::size_t row_length = packed_pair_length("checkid", n + 1, c->name()) +
                                 packed_pair_length("checkdescription", n + 1, c->description()) +
                                 packed_pair_length("available", n + 1, available);
        if (!fits_packet(reply_length(cmd, reply) + row_length + count_digits)) {
            trace("listchecks: %s and the checks after it left out: the reply is full\n", c->name().c_str());
            break;
        }
        ++n;
        array_add(reply, "checkid", n, c->name());
        array_add(reply, "checkdescription", n, c->description());
        array_add(reply, "available", n, available);
    }
    reply.texts[1] = std::to_string(n);
    return reply.size();
}

int check_params(const std::string& cmd, const std::string& checkname, param_array& reply, bool filesystems)
{
    check_list offered(g_config_path);
    offered_check* c = offered.find(checkname);
    if (!c) {
        array_add(reply, "errormessage", 0, "Check not found");
        return reply.size();
    }
    param_array descriptors;
    array_add(reply, "checkid", 0, checkname);
    if (auto refused = c->refusal())
        add_problem(*refused, reply);
    // The packed list travels between two double quotes.
    c->describe(descriptors, room_inside_quotes(room_for_last_value(cmd, reply, "parameters")));
    std::string param_string = quoted(dorv_pack(descriptors));
    cut_to(param_string, max_text);
    array_add(reply, "parameters", 0, param_string);
    if (filesystems && c->lists_mount_points())
        add_filesystems(cmd, descriptors, reply);
    array_free(descriptors);
    return reply.size();
}

int rpc_definecheck(const std::string& cmd, const param_array& param, param_array& reply)
{
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_definecheck_no_checkid);
    return check_params(cmd, param.value(0), reply, wants_filesystems(param));
}

int rpc_getcombo(const std::string& cmd, const param_array& param, param_array& reply)
{
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_getcombo_no_checkid);
    return check_params(cmd, param.value(0), reply, wants_filesystems(param));
}

void rpc_runcheck(const std::string& cmd, const param_array& param, param_array& reply)
{
    if (param.empty() || param.key(0) != "checkid")
        end_agent(exit_runcheck_no_checkid);
    const std::string& name = param.value(0);
    if (param.pairs() < 2 || param.key(1) != "para")
        end_agent(exit_runcheck_no_para);

    // The runner gets whatever pairs the decoder stored, also from an incomplete text.
    param_array args;
    dorv_unpack(param.value(1), args);

    check_list offered(g_config_path);
    if (offered_check* c = offered.find(name))
        c->run(cmd, args, reply);
    else
        array_add(reply, "errormessage", 0, "Check not found");
}

} // namespace dorv
