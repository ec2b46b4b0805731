// Command-line parsing of the console.
#include "console/options.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "console/network_options.h"
#include "console/thresholds.h"

namespace dorv {

namespace {

// An option's value checked and stored; the error, or "" when it is taken.
using option_setter = std::string (*)(console_options& o, const std::string& name, const std::string& v);

struct value_option {
    const char* long_name;
    const char* short_name; // nullptr when there is none
    option_setter set;
};

struct flag_option {
    const char* long_name;
    const char* short_name;
    bool console_options::*flag;
    bool alone; // the option is the whole command line (--help, --version)
};

struct format_name {
    const char* name;
    output_format format;
};

const format_name formats[] = {
    {"human", output_format::human},
    {"plugin", output_format::plugin},
    {"json", output_format::json},
    {"passive", output_format::passive},
};

std::optional<output_format> format_named(const std::string& name)
{
    for (const auto& f : formats)
        if (name == f.name)
            return f.format;
    return std::nullopt;
}

bool names(const char* long_name, const char* short_name, const std::string& name)
{
    return name == long_name || (short_name && name == short_name);
}

bool line_safe(const std::string& v)
{
    return !v.empty() && v.find_first_of(";\n\r") == std::string::npos;
}

std::string set_agent(console_options& o, const std::string&, const std::string& v)
{
    o.agent = v;
    return "";
}

std::string set_ssh(console_options& o, const std::string&, const std::string& v)
{
    if (v.empty() || v[0] == '-')
        return "--ssh needs a destination, not \"" + v + "\"";
    o.ssh = v;
    return "";
}

std::string add_ssh_option(console_options& o, const std::string&, const std::string& v)
{
    o.ssh_options.push_back(v);
    return "";
}

std::string set_remote_command(console_options& o, const std::string&, const std::string& v)
{
    if (v.empty())
        return "--remote-command needs a command";
    o.remote_command = v;
    return "";
}

std::string set_timeout(console_options& o, const std::string& name, const std::string& v)
{
    char* end = nullptr;
    double seconds = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return name + " takes a number of seconds above 0, not \"" + v + "\"";
    o.timeout = seconds;
    return "";
}

std::string set_format(console_options& o, const std::string&, const std::string& v)
{
    std::optional<output_format> f = format_named(v);
    if (!f)
        return "--format is human, plugin, json or passive, not \"" + v + "\"";
    o.format = *f;
    return "";
}

std::string set_host(console_options& o, const std::string&, const std::string& v)
{
    if (!line_safe(v))
        return "--host needs a name without ';' or a line end";
    o.host = v;
    return "";
}

const value_option value_options[] = {
    {"--agent", nullptr, set_agent},
    {"--ssh", nullptr, set_ssh},
    {"--ssh-option", nullptr, add_ssh_option},
    {"--remote-command", nullptr, set_remote_command},
    {"--reuse", nullptr, set_reuse},
    {"--timeout", "-t", set_timeout},
    {"--format", nullptr, set_format},
    {"--host", nullptr, set_host},
    {"--submit", nullptr, set_submit_text},
    {"--submit-user", nullptr, set_submit_text},
    {"--submit-password-file", nullptr, set_submit_text},
    {"--submit-cert", nullptr, set_submit_text},
    {"--submit-key", nullptr, set_submit_text},
    {"--submit-ca", nullptr, set_submit_text},
    {"--submit-ttl", nullptr, set_submit_ttl},
    {"--hosts", nullptr, set_hosts},
    {"--jobs", "-j", set_jobs},
};

const flag_option flag_options[] = {
    {"--help", "-h", &console_options::help, true},
    {"--version", "-V", &console_options::version, true},
    {"--verbose", "-v", &console_options::verbose, false},
};

// The options of one run command: -w, -c and --service.
struct run_option {
    const char* long_name;
    const char* short_name;
    std::optional<std::string> console_command::*slot;
};

const run_option run_options[] = {
    {"--warning", "-w", &console_command::warning},
    {"--critical", "-c", &console_command::critical},
    {"--service", nullptr, &console_command::service},
};

// How many arguments a command takes, and what is said when it gets another number.
struct verb_rule {
    const char* verb;
    std::size_t min_args;
    std::size_t max_args;
    const char* wrong_count;
};

const verb_rule verbs[] = {
    {"list", 0, 0, "list takes no arguments"},
    {"run-all", 0, 0, "run-all takes no arguments"},
    {"describe", 1, 1, "describe takes one check name"},
    {"run", 1, SIZE_MAX, "run needs a check name"},
};

std::string check_verb(const console_command& c)
{
    if (c.verb.empty())
        return "empty command (\"+\" with nothing after it?)";
    for (const auto& v : verbs) {
        if (c.verb != v.verb)
            continue;
        if (c.args.size() >= v.min_args && c.args.size() <= v.max_args)
            return "";
        return v.wrong_count;
    }
    return "unknown command \"" + c.verb + "\" (commands: list, describe, run, run-all)";
}

std::string check_command(const console_command& c)
{
    if (std::string e = check_verb(c); !e.empty())
        return e;
    if (!c.args.empty() && c.args[0].empty())
        return c.verb + ": empty check name";
    for (const auto* limit : {&c.warning, &c.critical})
        if (*limit && !parse_limit(**limit))
            return c.verb + " " + c.args[0] + ": a limit is a whole number, not \"" + **limit + "\"";
    if (c.service && !line_safe(*c.service))
        return "--service needs a name without ';' or a line end";
    return "";
}

// One option word at args[i]: its name (an inline "--name=value" split off) and a way to
// take its value, from the same word or the next.
struct option_word {
    const std::vector<std::string>& args;
    std::size_t& i;
    std::string name;
    std::optional<std::string> inline_value;

    option_word(const std::vector<std::string>& a, std::size_t& at) : args(a), i(at), name(args[i])
    {
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            inline_value = name.substr(eq + 1);
            name.erase(eq);
        }
    }

    // Takes the value into out; the error, or "".
    std::string value(std::string& out)
    {
        if (inline_value)
            out = *inline_value;
        else if (i + 1 < args.size())
            out = args[++i];
        else
            return name + " needs a value";
        return "";
    }

    // The slot of c that this word (-w, -c or --service) sets; nullptr for other words.
    std::optional<std::string>* run_slot(console_command& c) const
    {
        for (const auto& r : run_options)
            if (names(r.long_name, r.short_name, name))
                return &(c.*r.slot);
        return nullptr;
    }

    // Takes the value of a run option into its slot; the error, or "".
    std::string take(std::optional<std::string>& slot)
    {
        std::string v;
        if (std::string e = value(v); !e.empty())
            return e;
        if (slot)
            return name + " is given twice";
        slot = v;
        return "";
    }
};

// One option word before the commands; the error, or "". done is set by an option that
// is the whole command line.
std::string parse_option(option_word& w, console_options& o, console_command& global, bool& done)
{
    for (const auto& f : flag_options)
        if (names(f.long_name, f.short_name, w.name)) {
            o.*f.flag = true;
            done = f.alone;
            return "";
        }
    if (std::optional<std::string>* slot = w.run_slot(global)) {
        if (std::string e = w.take(*slot); !e.empty())
            return e;
        return global.service ? "--service goes after the check name" : "";
    }
    for (const auto& v : value_options)
        if (names(v.long_name, v.short_name, w.name)) {
            std::string value;
            if (std::string e = w.value(value); !e.empty())
                return e;
            return v.set(o, w.name, value);
        }
    return "unknown option " + w.args[w.i];
}

std::string check_transport(console_options& o)
{
    if (std::string e = check_hosts(o); !e.empty())
        return e;
    if (o.agent && o.ssh)
        return "--agent names the local agent; with --ssh use --remote-command";
    if (!o.ssh && !o.hosts && (!o.ssh_options.empty() || o.remote_command != "dorv" || o.reuse >= 0))
        return "--ssh-option, --remote-command and --reuse need --ssh";
    if (std::string e = check_submit(o); !e.empty())
        return e;
    if (o.format == output_format::passive && !o.host && !o.hosts)
        return "--format passive needs --host NAME";
    return "";
}

// The commands from args[i] on, joined by "+". After a run's check name only -w, -c and
// --service are options; every other word is a value (a process may well be "-bash").
std::string parse_commands(const std::vector<std::string>& args, std::size_t i, console_options& o)
{
    console_command current;
    bool have = false;
    for (; i < args.size(); ++i) {
        if (args[i] == "+") {
            if (std::string e = check_command(current); !e.empty())
                return e;
            o.commands.push_back(std::move(current));
            current = {};
            have = false;
            continue;
        }
        if (!have) {
            current.verb = args[i];
            have = true;
            continue;
        }
        option_word w(args, i);
        std::optional<std::string>* slot =
            current.verb == "run" && !current.args.empty() ? w.run_slot(current) : nullptr;
        if (!slot)
            current.args.push_back(args[i]);
        else if (std::string e = w.take(*slot); !e.empty())
            return e;
    }
    if (o.commands.empty() && !have)
        return "no command given";
    o.commands.push_back(std::move(current));
    return "";
}

// -w and -c given before the command go to its single run.
std::string apply_global_limits(const console_command& global, console_options& o)
{
    if (!global.warning && !global.critical)
        return "";
    console_command& c = o.commands.front();
    if (o.commands.size() != 1 || c.verb != "run")
        return "-w and -c before the command are for a single run; with several, give each "
               "check its own after its name";
    for (auto [from, to] :
         {std::pair{&global.warning, &c.warning}, std::pair{&global.critical, &c.critical}}) {
        if (*from && *to)
            return "a limit is given both before and after the check name";
        if (*from)
            *to = *from;
    }
    return "";
}

// The whole command line into o; the error, or "".
std::string parse_line(const std::vector<std::string>& args, console_options& o)
{
    console_command global; // -w and -c before the command
    std::size_t i = 0;
    for (; i < args.size() && args[i].size() >= 2 && args[i][0] == '-'; ++i) {
        option_word w(args, i);
        bool done = false;
        if (std::string e = parse_option(w, o, global, done); !e.empty() || done)
            return e;
    }
    if (std::string e = check_transport(o); !e.empty())
        return e;
    if (std::string e = parse_commands(args, i, o); !e.empty())
        return e;
    if (std::string e = apply_global_limits(global, o); !e.empty())
        return e;
    return check_command(o.commands.back());
}

} // namespace

output_format requested_format(const std::vector<std::string>& args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string v;
        if (args[i] == "--format" && i + 1 < args.size())
            v = args[i + 1];
        else if (args[i].rfind("--format=", 0) == 0)
            v = args[i].substr(9);
        // Only these two tell a usage error differently.
        if (v == "plugin" || v == "passive")
            return *format_named(v);
    }
    return output_format::human;
}

std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error)
{
    console_options o;
    error = parse_line(args, o);
    if (!error.empty())
        return std::nullopt;
    return o;
}

} // namespace dorv
