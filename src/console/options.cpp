// Command-line parsing of the console.
#include "console/options.h"

#include <cmath>
#include <cstdlib>

namespace dorv {

std::string usage_text()
{
    return R"(usage: dorv-console [OPTION...] COMMAND [+ COMMAND ...]

Runs the dorv agent (the local one, or one on another host over ssh) and asks it
about its checks. Several commands joined by "+" share one agent session.

Commands:
  list                        the checks the agent offers
  describe CHECK              the parameters of CHECK, with the values of a list
  run CHECK [VALUE ...]       run CHECK with its parameters in order
  run CHECK NAME=VALUE ...    ... or by name (any case; a unique part of a name will do)
  run-all                     every check once, with usual limits (load 90 %, 10 % free),
                              the disk "/" and the process "dorv" (the agent itself)

Options:
  --agent PATH                the local agent binary (default: dorv beside dorv-console)
  --ssh DESTINATION           run the agent on DESTINATION through ssh
  --remote-command CMD        what ssh runs there (default: dorv)
  --ssh-option ARG            one more argument for ssh, before the destination
                              (repeatable: --ssh-option -p --ssh-option 2222)
  --timeout SECONDS           the longest the whole session may take (default: 30);
                              the agent or ssh is then killed and the result is unknown
  --format human|plugin|json  readable text (default), a monitoring-plugin status line
                              with performance data, or one JSON object per command
  --verbose                   show the packets exchanged on standard error
  --help                      this text

Exit status: 0 all checks up, 2 a check down, 3 unknown (no answer, an error, a timeout).

Examples:
  dorv-console list
  dorv-console run CPU 80
  dorv-console run DiskSpace 10 / + run Processes sshd
  dorv-console --ssh monitor@db1 --format plugin run RAM limit=10
)";
}

namespace {

bool parse_seconds(const std::string& text, double& out)
{
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    if (text.empty() || *end != '\0' || !std::isfinite(v) || v <= 0 || v > 86400)
        return false;
    out = v;
    return true;
}

bool check_command(const console_command& c, std::string& error)
{
    if (c.verb == "list" || c.verb == "run-all") {
        if (!c.args.empty())
            return error = c.verb + " takes no arguments", false;
    } else if (c.verb == "describe") {
        if (c.args.size() != 1)
            return error = "describe takes one check name", false;
    } else if (c.verb == "run") {
        if (c.args.empty())
            return error = "run needs a check name", false;
    } else if (c.verb.empty()) {
        return error = "empty command (\"+\" with nothing after it?)", false;
    } else {
        return error = "unknown command \"" + c.verb + "\" (commands: list, describe, run, run-all)", false;
    }
    if (!c.args.empty() && c.args[0].empty())
        return error = c.verb + ": empty check name", false;
    return true;
}

}  // namespace

std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error)
{
    console_options o;
    std::size_t i = 0;
    // Options come before the first command; after it every word belongs to the commands
    // (a process may well be called "-bash").
    for (; i < args.size(); ++i) {
        std::string a = args[i];
        if (a.size() < 2 || a[0] != '-')
            break;
        std::optional<std::string> inline_value;
        if (auto eq = a.find('='); a.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = a.substr(eq + 1);
            a.erase(eq);
        }
        auto value = [&](std::string& out) {
            if (inline_value)
                return out = *inline_value, true;
            if (i + 1 >= args.size())
                return error = a + " needs a value", false;
            out = args[++i];
            return true;
        };
        std::string v;
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--agent") {
            if (!value(v))
                return std::nullopt;
            o.agent = v;
        } else if (a == "--ssh") {
            if (!value(v))
                return std::nullopt;
            if (v.empty() || v[0] == '-')
                return error = "--ssh needs a destination, not \"" + v + "\"", std::nullopt;
            o.ssh = v;
        } else if (a == "--ssh-option") {
            if (!value(v))
                return std::nullopt;
            o.ssh_options.push_back(v);
        } else if (a == "--remote-command") {
            if (!value(v))
                return std::nullopt;
            if (v.empty())
                return error = "--remote-command needs a command", std::nullopt;
            o.remote_command = v;
        } else if (a == "--timeout") {
            if (!value(v))
                return std::nullopt;
            if (!parse_seconds(v, o.timeout))
                return error = "--timeout takes a number of seconds above 0, not \"" + v + "\"", std::nullopt;
        } else if (a == "--format") {
            if (!value(v))
                return std::nullopt;
            if (v == "human")
                o.format = output_format::human;
            else if (v == "plugin")
                o.format = output_format::plugin;
            else if (v == "json")
                o.format = output_format::json;
            else
                return error = "--format is human, plugin or json, not \"" + v + "\"", std::nullopt;
        } else {
            return error = "unknown option " + args[i], std::nullopt;
        }
    }
    if (o.agent && o.ssh)
        return error = "--agent names the local agent; with --ssh use --remote-command", std::nullopt;
    if (!o.ssh && (!o.ssh_options.empty() || o.remote_command != "dorv"))
        return error = "--ssh-option and --remote-command need --ssh", std::nullopt;

    console_command current;
    bool have = false;
    for (; i < args.size(); ++i) {
        if (args[i] == "+") {
            if (!check_command(current, error))
                return std::nullopt;
            o.commands.push_back(std::move(current));
            current = {};
            have = false;
        } else if (!have) {
            current.verb = args[i];
            have = true;
        } else {
            current.args.push_back(args[i]);
        }
    }
    if (o.commands.empty() && !have)
        return error = "no command given", std::nullopt;
    if (!check_command(current, error))
        return std::nullopt;
    o.commands.push_back(std::move(current));
    return o;
}

}  // namespace dorv
