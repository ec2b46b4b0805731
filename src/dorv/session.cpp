// Session start-up and the request loop.
#include "dorv/session.h"

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>

#include "base/exit_causes.h"
#include "base/orphans.h"
#include "base/trace.h"
#include "checks/registry.h"
#include "config/config.h"
#include "config/keys.h"
#include "probes/command.h"
#include "protocol/channel.h"
#include "protocol/param_array.h"
#include "protocol/session_id.h"

namespace dorv {

std::optional<std::string> dorv_login;

namespace {

std::optional<std::string> lookup_login()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return std::string(pw->pw_name);
    return std::nullopt;
}

using handler_t = void (*)(const std::string& cmd, const param_array& param, param_array& reply);

struct dispatch_row {
    const char* name;
    handler_t handler;
};

const dispatch_row dispatch[] = {
    {"listchecks",
     [](const std::string& c, const param_array& p, param_array& r) { rpc_listchecks(c, p, r); }},
    {"definecheck",
     [](const std::string& c, const param_array& p, param_array& r) { rpc_definecheck(c, p, r); }},
    {"runcheck", rpc_runcheck},
    {"getcomboparamvalues",
     [](const std::string& c, const param_array& p, param_array& r) { rpc_getcombo(c, p, r); }},
};

// True when section "firewall" holds any entry.
bool firewall_has_entries()
{
    bool any = false;
    read_config(g_config_path, [&](const config_line& l) {
        any = l.kind == config_line::entry && l.section == "firewall";
        return !any;
    });
    return any;
}

[[noreturn]] void reject(const std::string& shown, const std::string& value)
{
    trace("Rejected IP address %s: not in allowed range %s\n", escaped(shown).c_str(),
          escaped(value).c_str());
    end_agent(exit_rejected_address);
}

// Ends the agent when the configuration file is there but cannot be read: running
// without its firewall would admit every client. Told on the standard error the agent
// was started with, which the console shows.
void require_readable_config()
{
    config_read r = read_config(g_config_path, [](const config_line&) { return true; });
    if (r.status != config_read::unreadable)
        return;
    std::string line = "dorv: cannot read " + g_config_path + ": " + r.error + "\n";
    trace_text(line);
    end_agent(exit_unreadable_config);
}

} // namespace

int verify_ipaddress(const std::optional<std::string>& ip, const std::optional<std::string>& login)
{
    if (!ip)
        return 1;
    std::optional<ip_address> client = parse_client(*ip);
    // A mapped client shows as its IPv4 address, any other by its whole text.
    std::string shown = client && !client->v6 ? address_text(*client) : *ip;
    if (!login) {
        if (!firewall_has_entries())
            return 1;
        trace("Rejected IP address %s: login name unknown\n", escaped(shown).c_str());
        end_agent(exit_rejected_address);
    }
    std::optional<std::string> value = config_value("firewall", *login);
    if (!value)
        value = config_value("firewall", "*");
    if (!value)
        return 1;
    firewall_value allowed = parse_firewall(*value);
    if (allowed.unreadable) {
        trace("Cannot read the firewall value for user %s: %s\n", escaped(*login).c_str(),
              escaped(*value).c_str());
        reject(shown, *value);
    }
    if (!client || !firewall_admits(allowed, *client))
        reject(shown, *value);
    return 1;
}

int dorv_agent()
{
    // A console that hangs up must end the agent through a failed write, not a signal.
    // Probe commands get the default disposition back when they start.
    std::signal(SIGPIPE, SIG_IGN);
    // A probe ends with the agent however the agent is ended, and ends the agent when the
    // console is no longer there to read the reply.
    end_children_on_signals();
    // What a plugin leaves running outside its process group comes back to the agent to be
    // ended, where the platform allows.
    adopt_orphans();
    g_probe_watch_fd = STDOUT_FILENO;

    generate_session_id();
    require_readable_config();

    std::optional<std::string> ip;
    if (const char* env = std::getenv("SSH_CLIENT")) {
        ip = env;
        ip->erase(std::min(ip->find(' '), ip->size()));
    }

    std::optional<std::string> log = config_value("agent", "log");
    trace_open(log->c_str());
    trace("\n");

    dorv_login = lookup_login();
    verify_ipaddress(ip, dorv_login);
    trace("Accepted new connection for user %s from IP %s\n",
          dorv_login ? escaped(*dorv_login).c_str() : "<unknown>", ip ? escaped(*ip).c_str() : "<unknown>");

    send_cmd("login", param_array{});
    return serve_requests(STDIN_FILENO, STDOUT_FILENO);
}

int serve_requests(int in_fd, int out_fd)
{
    param_array param;
    param_array reply;
    for (;;) {
        std::optional<std::string> cmd = read_cmd(param, in_fd);
        if (!cmd)
            return exit_input_ended;
        array_free(reply);
        for (const auto& row : dispatch) {
            if (*cmd == row.name) {
                row.handler(*cmd, param, reply);
                break;
            }
        }
        if (reply.empty()) {
            trace("Command %s not implemented\n", escaped(*cmd).c_str());
            end_agent(exit_not_implemented);
        }
        send_cmd(*cmd, reply, out_fd);
    }
}

} // namespace dorv
