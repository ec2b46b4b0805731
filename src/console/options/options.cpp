// Command-line parsing of the console.
#include "console/options/options.h"

#include <cmath>
#include <cstdint>
#include <cstdlib>

#include "console/options/command_checks.h"
#include "console/options/network_options.h"
#include "console/output/format.h"
#include "console/replies/agent_replies.h"

namespace dorv {

namespace {

// An option's value checked and stored; false, with error set, when it is not taken.
using option_setter = bool (*)(console_options& o, const std::string& name, const std::string& v,
                               std::string& error);

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

bool names(const char* long_name, const char* short_name, const std::string& name)
{
    return name == long_name || (short_name && name == short_name);
}

bool set_agent(console_options& o, const std::string&, const std::string& v, std::string&)
{
    o.agent = v;
    return true;
}

bool set_ssh(console_options& o, const std::string&, const std::string& v, std::string& error)
{
    if (v.empty() || v[0] == '-')
        return fail(error, "--ssh needs a destination, not \"" + v + "\"");
    o.ssh = v;
    return true;
}

bool add_ssh_option(console_options& o, const std::string&, const std::string& v, std::string&)
{
    o.ssh_options.push_back(v);
    return true;
}

bool set_remote_command(console_options& o, const std::string&, const std::string& v, std::string& error)
{
    if (v.empty())
        return fail(error, "--remote-command needs a command");
    o.remote_command = v;
    return true;
}

bool set_timeout(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    char* end = nullptr;
    double seconds = std::strtod(v.c_str(), &end);
    if (v.empty() || *end != '\0' || !std::isfinite(seconds) || seconds <= 0 || seconds > 86400)
        return fail(error, name + " takes a number of seconds above 0, not \"" + v + "\"");
    o.timeout = seconds;
    return true;
}

bool set_format(console_options& o, const std::string&, const std::string& v, std::string& error)
{
    if (!is_format(v))
        return fail(error, "--format is " + format_names(", ", " or ") + ", not \"" + v + "\"");
    o.format = v;
    return true;
}

bool set_host(console_options& o, const std::string&, const std::string& v, std::string& error)
{
    if (!line_safe(v))
        return fail(error, "--host needs a name without ';' or a line end");
    o.host = v;
    return true;
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
    {"--all-mounts", nullptr, &console_options::all_mounts, false},
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

    // Takes the value into out; false, with error set, when there is none.
    bool value(std::string& out, std::string& error)
    {
        if (inline_value)
            out = *inline_value;
        else if (i + 1 < args.size())
            out = args[++i];
        else
            return fail(error, name + " needs a value");
        return true;
    }

    // The slot of c that this word (-w, -c or --service) sets; nullptr for other words.
    std::optional<std::string>* run_slot(console_command& c) const
    {
        for (const auto& r : run_options)
            if (names(r.long_name, r.short_name, name))
                return &(c.*r.slot);
        return nullptr;
    }

    // Takes the value of a run option into its slot; false, with error set, when it cannot.
    bool take(std::optional<std::string>& slot, std::string& error)
    {
        std::string v;
        if (!value(v, error))
            return false;
        if (slot)
            return fail(error, name + " is given twice");
        slot = v;
        return true;
    }
};

// One option word before the commands; false, with error set, when it is not valid. done
// is set by an option that is the whole command line.
bool parse_option(option_word& w, console_options& o, console_command& global, bool& done, std::string& error)
{
    for (const auto& f : flag_options)
        if (names(f.long_name, f.short_name, w.name)) {
            o.*f.flag = true;
            done = f.alone;
            return true;
        }
    if (std::optional<std::string>* slot = w.run_slot(global)) {
        if (!w.take(*slot, error))
            return false;
        return !global.service || fail(error, "--service goes after the check name");
    }
    for (const auto& v : value_options)
        if (names(v.long_name, v.short_name, w.name)) {
            std::string value;
            if (!w.value(value, error))
                return false;
            return v.set(o, w.name, value, error);
        }
    return fail(error, "unknown option " + w.args[w.i]);
}

bool check_transport(console_options& o, std::string& error)
{
    if (!check_hosts(o, error))
        return false;
    if (o.agent && o.ssh)
        return fail(error, "--agent names the local agent; with --ssh use --remote-command");
    if (!o.ssh && !o.hosts && (!o.ssh_options.empty() || o.remote_command != "dorv" || o.reuse >= 0))
        return fail(error, "--ssh-option, --remote-command and --reuse need --ssh");
    if (!check_submit(o, error))
        return false;
    if (format_needs_host(o.format) && !o.host && !o.hosts)
        return fail(error, "--format " + o.format + " needs --host NAME");
    return true;
}

// The commands from args[i] on, joined by "+". After a run's check name only -w, -c and
// --service are options; every other word is a value (a process may well be "-bash").
bool parse_commands(const std::vector<std::string>& args, std::size_t i, console_options& o,
                    std::string& error)
{
    console_command current;
    bool have = false;
    for (; i < args.size(); ++i) {
        if (args[i] == "+") {
            if (!check_command(current, error))
                return false;
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
        else if (!w.take(*slot, error))
            return false;
    }
    if (o.commands.empty() && !have)
        return fail(error, "no command given");
    o.commands.push_back(std::move(current));
    return true;
}

// -w and -c given before the command go to its single run.
bool apply_global_limits(const console_command& global, console_options& o, std::string& error)
{
    if (!global.warning && !global.critical)
        return true;
    console_command& c = o.commands.front();
    if (o.commands.size() != 1 || c.verb != "run")
        return fail(error, "-w and -c before the command are for a single run; with several, give each "
                           "check its own after its name");
    for (auto [from, to] :
         {std::pair{&global.warning, &c.warning}, std::pair{&global.critical, &c.critical}}) {
        if (*from && *to)
            return fail(error, "a limit is given both before and after the check name");
        if (*from)
            *to = *from;
    }
    return true;
}

// The whole command line into o; false, with error set, when it is not valid.
bool parse_line(const std::vector<std::string>& args, console_options& o, std::string& error)
{
    console_command global; // -w and -c before the command
    std::size_t i = 0;
    for (; i < args.size() && args[i].size() >= 2 && args[i][0] == '-'; ++i) {
        option_word w(args, i);
        bool done = false;
        if (!parse_option(w, o, global, done, error) || done)
            return error.empty();
    }
    if (!check_transport(o, error) || !parse_commands(args, i, o, error) ||
        !apply_global_limits(global, o, error) || !check_command(o.commands.back(), error))
        return false;
    for (const console_command& c : o.commands)
        if (c.verb == "serve" && o.commands.size() > 1)
            return fail(error, "serve is a command of its own: no \"+\" with it");
    return check_discover(o, error);
}

} // namespace

std::string requested_format(const std::vector<std::string>& args)
{
    for (std::size_t i = 0; i < args.size(); ++i) {
        std::string v;
        if (args[i] == "--format" && i + 1 < args.size())
            v = args[i + 1];
        else if (args[i].rfind("--format=", 0) == 0)
            v = args[i].substr(9);
        if (is_format(v))
            return v;
    }
    return default_format();
}

std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error)
{
    console_options o;
    error.clear();
    if (!parse_line(args, o, error))
        return std::nullopt;
    return o;
}

} // namespace dorv
