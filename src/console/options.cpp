// Command-line parsing of the console.
#include "console/options.h"

#include <cmath>
#include <cstdlib>

#include "console/thresholds.h"

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

After the check name of a run (or before the command, for a single run):
  -c, --critical LIMIT        the check's limit, its first parameter (CRITICAL)
  -w, --warning LIMIT         a warning limit on the same scale: CPU warns while its
                              load is above it, DiskSpace, RAM and Swap while the free
                              share is at or below it; Processes takes neither
  --service NAME              the service name of this check's passive result

Options:
  --agent PATH                the local agent binary (default: dorv beside dorv-console)
  --ssh DESTINATION           run the agent on DESTINATION through ssh
  --remote-command CMD        what ssh runs there (default: dorv)
  --ssh-option ARG            one more argument for ssh, before the destination
                              (repeatable: --ssh-option -p --ssh-option 2222)
  -t, --timeout SECONDS       the longest the whole session may take (default: 30);
                              the agent or ssh is then killed and the result is unknown
  --format human|plugin|json|passive
                              readable text (default); one monitoring-plugin result
                              (status line, one line per check, performance data);
                              one JSON object per command; or passive check results
                              for the scheduler's command file (needs --host)
  --host NAME                 the scheduler's name of the host, for --format passive
  -v, --verbose               show the packets exchanged on standard error
  -V, --version               the version
  -h, --help                  this text

Exit status: 0 OK, 1 WARNING, 2 CRITICAL, 3 UNKNOWN (no answer, an error, a timeout);
with several checks the worst of them: CRITICAL, then WARNING, then UNKNOWN.

Examples:
  dorv-console list
  dorv-console run CPU 80
  dorv-console -w 80 -c 90 --format plugin run CPU
  dorv-console --format plugin run CPU -w 80 -c 90 + run DiskSpace -w 20 -c 10 / \
      + run RAM -w 20 -c 10 + run Swap -w 30 -c 10 + run Processes sshd
  dorv-console --ssh monitor@db1 --format passive --host db1 run RAM -w 20 -c 10
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
    for (const auto* limit : {&c.warning, &c.critical})
        if (*limit && !parse_limit(**limit))
            return error = c.verb + " " + c.args[0] + ": a limit is a whole number, not \"" + **limit + "\"", false;
    if (c.service && (c.service->empty() || c.service->find_first_of(";\n\r") != std::string::npos))
        return error = "--service needs a name without ';' or a line end", false;
    return true;
}

// One option word at args[i]: its name (an inline "--name=value" split off) and a way to
// take its value, from the same word or the next.
struct option_word {
    const std::vector<std::string>& args;
    std::size_t& i;
    std::string& error;
    std::string name;
    std::optional<std::string> inline_value;

    option_word(const std::vector<std::string>& a, std::size_t& at, std::string& e) : args(a), i(at), error(e)
    {
        name = args[i];
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.erase(eq);
        }
    }
    bool value(std::string& out)
    {
        if (inline_value)
            return out = *inline_value, true;
        if (i + 1 >= args.size())
            return error = name + " needs a value", false;
        out = args[++i];
        return true;
    }
    // Takes the value of -w, -c or --service into c; false when name is none of them.
    bool limit_of(console_command& c, bool& ok)
    {
        std::optional<std::string>* slot = name == "-w" || name == "--warning"    ? &c.warning
                                           : name == "-c" || name == "--critical" ? &c.critical
                                           : name == "--service"                  ? &c.service
                                                                                  : nullptr;
        if (!slot)
            return false;
        std::string v;
        if (!(ok = value(v)))
            return true;
        if (*slot)
            return ok = false, error = name + " is given twice", true;
        *slot = v;
        return true;
    }
};

}  // namespace

output_format requested_format(const std::vector<std::string>& args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string v;
        if (args[i] == "--format" && i + 1 < args.size())
            v = args[i + 1];
        else if (args[i].rfind("--format=", 0) == 0)
            v = args[i].substr(9);
        if (v == "plugin")
            return output_format::plugin;
        if (v == "passive")
            return output_format::passive;
    }
    return output_format::human;
}

std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error)
{
    console_options o;
    console_command global;  // -w and -c before the command
    std::size_t i = 0;
    // Options come before the first command. After a run's check name only -w, -c and
    // --service are options; every other word is a value (a process may well be "-bash").
    for (; i < args.size(); ++i) {
        if (args[i].size() < 2 || args[i][0] != '-')
            break;
        option_word w(args, i, error);
        const std::string& a = w.name;
        std::string v;
        bool ok = true;
        if (a == "--help" || a == "-h") {
            o.help = true;
            return o;
        } else if (a == "--version" || a == "-V") {
            o.version = true;
            return o;
        } else if (w.limit_of(global, ok)) {
            if (!ok)
                return std::nullopt;
            if (global.service)
                return error = "--service goes after the check name", std::nullopt;
        } else if (a == "--verbose" || a == "-v") {
            o.verbose = true;
        } else if (a == "--agent" || a == "--ssh" || a == "--ssh-option" || a == "--remote-command" ||
                   a == "--timeout" || a == "-t" || a == "--format" || a == "--host") {
            if (!w.value(v))
                return std::nullopt;
            if (a == "--agent") {
                o.agent = v;
            } else if (a == "--ssh") {
                if (v.empty() || v[0] == '-')
                    return error = "--ssh needs a destination, not \"" + v + "\"", std::nullopt;
                o.ssh = v;
            } else if (a == "--ssh-option") {
                o.ssh_options.push_back(v);
            } else if (a == "--remote-command") {
                if (v.empty())
                    return error = "--remote-command needs a command", std::nullopt;
                o.remote_command = v;
            } else if (a == "--host") {
                if (v.empty() || v.find_first_of(";\n\r") != std::string::npos)
                    return error = "--host needs a name without ';' or a line end", std::nullopt;
                o.host = v;
            } else if (a == "--format") {
                if (v == "human")
                    o.format = output_format::human;
                else if (v == "plugin")
                    o.format = output_format::plugin;
                else if (v == "json")
                    o.format = output_format::json;
                else if (v == "passive")
                    o.format = output_format::passive;
                else
                    return error = "--format is human, plugin, json or passive, not \"" + v + "\"", std::nullopt;
            } else if (!parse_seconds(v, o.timeout)) {
                return error = a + " takes a number of seconds above 0, not \"" + v + "\"", std::nullopt;
            }
        } else {
            return error = "unknown option " + args[i], std::nullopt;
        }
    }
    if (o.agent && o.ssh)
        return error = "--agent names the local agent; with --ssh use --remote-command", std::nullopt;
    if (!o.ssh && (!o.ssh_options.empty() || o.remote_command != "dorv"))
        return error = "--ssh-option and --remote-command need --ssh", std::nullopt;
    if (o.format == output_format::passive && !o.host)
        return error = "--format passive needs --host NAME", std::nullopt;

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
            option_word w(args, i, error);
            bool ok = true;
            if (current.verb == "run" && !current.args.empty() && w.limit_of(current, ok)) {
                if (!ok)
                    return std::nullopt;
            } else {
                current.args.push_back(args[i]);
            }
        }
    }
    if (o.commands.empty() && !have)
        return error = "no command given", std::nullopt;
    o.commands.push_back(std::move(current));
    if (global.warning || global.critical) {
        console_command& c = o.commands.front();
        if (o.commands.size() != 1 || c.verb != "run")
            return error = "-w and -c before the command are for a single run; with several, give each "
                           "check its own after its name",
                   std::nullopt;
        for (auto [from, to] : {std::pair{&global.warning, &c.warning}, std::pair{&global.critical, &c.critical}}) {
            if (*from && *to)
                return error = "a limit is given both before and after the check name", std::nullopt;
            if (*from)
                *to = *from;
        }
    }
    if (!check_command(o.commands.back(), error))
        return std::nullopt;
    return o;
}

}  // namespace dorv
