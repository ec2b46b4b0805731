// Session start-up and the request loop.
#include "dorv/session.h"

#include <algorithm>
#include <pwd.h>
#include <unistd.h>

#include <csignal>
#include <cstdlib>
#include <cstring>

#include "checks/registry.h"
#include "config/config.h"
#include "probes/command.h"
#include "protocol/channel.h"
#include "protocol/param_array.h"
#include "protocol/session_id.h"
#include "protocol/trace.h"

namespace dorv {

std::optional<std::string> dorv_login;

namespace {

std::optional<std::string> lookup_login()
{
    if (const passwd* pw = ::getpwuid(::getuid()); pw && pw->pw_name)
        return std::string(pw->pw_name);
    return std::nullopt;
}

// Reads a decimal number as atoi does (blanks, sign, digits), keeping its low 32 bits.
std::uint32_t leading_u32(const char* s)
{
    while (*s == ' ' || (*s >= '\t' && *s <= '\r'))
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    std::uint32_t v = 0;
    for (; *s >= '0' && *s <= '9'; ++s)
        v = v * 10u + static_cast<std::uint32_t>(*s - '0');
    return negative ? 0u - v : v;
}

using handler_t = void (*)(const std::string& cmd, const param_array& param, param_array& reply);

struct dispatch_row {
    const char* name;
    handler_t handler;
};

const dispatch_row dispatch[] = {
    {"listchecks", [](const std::string& c, const param_array& p, param_array& r) { rpc_listchecks(c, p, r); }},
    {"definecheck", [](const std::string& c, const param_array& p, param_array& r) { rpc_definecheck(c, p, r); }},
    {"runcheck", rpc_runcheck},
    {"getcomboparamvalues", [](const std::string& c, const param_array& p, param_array& r) { rpc_getcombo(c, p, r); }},
};

}  // namespace

std::uint32_t get_ip_32bit(const char* ip)
{
    if (!ip)
        return 0;
    const char* d1 = std::strchr(ip, '.');
    const char* d2 = d1 ? std::strchr(d1 + 1, '.') : nullptr;
    const char* d3 = d2 ? std::strchr(d2 + 1, '.') : nullptr;
    if (!d3)
        return 0;
    std::uint32_t v = leading_u32(ip);
    v = v * 256u + leading_u32(d1 + 1);
    v = v * 256u + leading_u32(d2 + 1);
    v = v * 256u + leading_u32(d3 + 1);
    return v;
}

int verify_ipaddress(const std::optional<std::string>& ip, const std::optional<std::string>& login)
{
    if (!ip || !login)
        return 1;
    std::string addr = *ip;
    if (auto colon = addr.rfind(':'); colon != std::string::npos)
        addr.erase(0, colon + 1);
    if (addr.empty())
        return 1;
    std::optional<std::string> range = dorv_config("firewall", *login, std::nullopt);
    if (!range)
        return 1;
    auto dash = range->find('-');
    if (dash == std::string::npos)
        return 1;
    std::string lower = range->substr(0, dash);
    std::string upper = range->substr(dash + 1);
    std::uint32_t a = get_ip_32bit(addr.c_str());
    std::uint32_t lo = get_ip_32bit(lower.c_str());
    std::uint32_t hi = get_ip_32bit(upper.c_str());
    if (a < lo || a > hi) {
        trace("Rejected IP address %s: not in allowed range %s\n", addr.c_str(), range->c_str());
        end_agent(exit_rejected);
    }
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
    g_probe_watch_fd = STDOUT_FILENO;

    generate_session_id();

    std::optional<std::string> ip;
    if (const char* env = std::getenv("SSH_CLIENT")) {
        ip = env;
        ip->erase(std::min(ip->find(' '), ip->size()));
    }

    std::optional<std::string> log = dorv_config("agent", "log", "/dev/null");
    trace_open(log->c_str());
    trace("\n");

    dorv_login = lookup_login();
    verify_ipaddress(ip, dorv_login);
    trace("Accepted new connection for user %s from IP %s\n",
          dorv_login ? dorv_login->c_str() : "<unknown>", ip ? ip->c_str() : "<unknown>");

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
            trace("Command %s not implemented\n", cmd->c_str());
            end_agent(exit_not_implemented);
        }
        send_cmd(*cmd, reply, out_fd);
    }
}

}  // namespace dorv
