// Process check.
#include "probes/processes.h"

#include <sys/utsname.h>

#include <algorithm>

#include "base/exit_causes.h"
#include "base/text_helpers.h"
#include "base/trace.h"
#include "config/keys.h"
#include "probes/host_forms.h"
#include "protocol/descriptors.h"
#include "protocol/limits.h"
#include "protocol/packet.h"

namespace dorv {

std::string ps_command(std::string_view sysname)
{
    if (sysname == "IRIX64" || sysname == "SunOS")
        return "ps -e -o user,args";
    return "ps -ax -o user,args";
}

bool process_users::has(std::string_view user) const
{
    return everyone || std::find(names.begin(), names.end(), user) != names.end();
}

process_users parse_process_users(std::string_view text)
{
    process_users users;
    int items = 0;
    users.well_formed = !text.empty();
    while (!text.empty()) {
        std::size_t comma = std::min(text.find(','), text.size());
        std::string_view name = text.substr(0, comma);
        std::size_t first = name.find_first_not_of(" \t");
        ++items;
        if (first == std::string_view::npos) {
            users.well_formed = false;
        } else {
            name = name.substr(first, name.find_last_not_of(" \t") - first + 1);
            if (name == "*")
                users.everyone = true;
            else
                users.names.emplace_back(name);
            if (name != "*" && name.find_first_of(" \t*") != std::string_view::npos)
                users.well_formed = false;
        }
        text.remove_prefix(std::min(text.size(), comma + 1));
    }
    if (users.everyone && items > 1)
        users.well_formed = false;
    if (!users.everyone && users.names.empty())
        return {false, root_and_dorv.names, users.well_formed};
    return users;
}

process_users configured_process_users()
{
    return parse_process_users(*config_value("agent", "process_users"));
}

std::optional<process_line> parse_process_line(std::string_view line, const process_users& users)
{
    // Blanks are spaces only; a tab is an ordinary character.
    std::size_t i = line.find_first_not_of(' ');
    if (i == std::string_view::npos)
        i = line.size();
    std::size_t user_end = line.find(' ', i);
    process_line p;
    if (user_end == std::string_view::npos) {
        p.user = line.substr(i);
    } else {
        p.user = line.substr(i, user_end - i);
        std::size_t cmd = line.find_first_not_of(' ', user_end);
        if (cmd != std::string_view::npos)
            p.command = line.substr(cmd);
    }
    if (!users.has(p.user))
        return std::nullopt;

    std::string_view command = p.command;
    std::size_t program = 0;
    if (command.empty() || command[0] != '[') {
        std::string_view word = command.substr(0, command.find(' '));
        std::size_t slash = word.rfind('/');
        if (slash != std::string_view::npos)
            program = slash + 1;
    }
    std::size_t end = command.find_last_not_of(' ');
    end = end == std::string_view::npos ? 0 : end + 1;
    p.kept = program < end ? std::string(command.substr(program, end - program)) : std::string();
    return p;
}

int parse_ps(line_source& lines, std::vector<std::string>& commands, int commands_max,
             const std::optional<std::string>& running, const process_users& users, bool* printed)
{
    std::string line;
    bool any = lines.next(line); // the column header, whatever it holds
    if (printed)
        *printed = any;
    if (!any)
        return 0;
    int count = 0;
    while (lines.next(line)) {
        chomp(line);
        std::optional<process_line> p = parse_process_line(line, users);
        if (!p)
            continue;
        trace("user: %s, command: <%s>\n", p->user.c_str(), p->command.c_str());
        if (running && p->kept.starts_with(*running))
            ++count;
        if (static_cast<int>(commands.size()) + 1 < commands_max)
            commands.push_back(std::move(p->kept));
    }
    return count;
}

namespace {

// The ps of BusyBox, which lists every process without "-ax".
const std::string busybox_ps = "ps -o user,args";

// Runs one variant of ps and parses its output. When it gave nothing to read, problem
// (when not null) receives the cause; `rejected` then tells whether ps ended by itself with
// a failure status without printing a line: a ps that does not take these options.
int run_ps(const std::string& command, std::vector<std::string>& commands, int commands_max,
           const std::optional<std::string>& running, const process_users& users, std::string* problem,
           bool* rejected = nullptr)
{
    command_pipe ps(command);
    bool printed = false;
    int count = parse_ps(ps, commands, commands_max, running, users, &printed);
    if (rejected)
        *rejected = false;
    if (ps.failure() || !printed) {
        std::string cause = ps.cause("printed nothing, not even its header line");
        if (problem)
            *problem = cause;
        // 126 and 127: the shell found no ps to run, and no other options help.
        std::optional<int> exit = ps.exit_status();
        if (rejected)
            *rejected = !printed && exit && *exit != 0 && *exit != 126 && *exit != 127;
    }
    return count;
}

} // namespace

int get_processes(std::vector<std::string>& commands, int commands_max,
                  const std::optional<std::string>& running, std::string* problem)
{
    utsname name;
    if (::uname(&name) != 0)
        end_agent(exit_no_sysname);
    process_users users = configured_process_users();
    std::string command = ps_command(name.sysname);
    bool ax_form = command == "ps -ax -o user,args";
    if (ax_form && session_forms().ps_without_ax)
        return run_ps(busybox_ps, commands, commands_max, running, users, problem);
    bool rejected = false;
    int count = run_ps(command, commands, commands_max, running, users, problem, &rejected);
    // BusyBox's ps rejects "-ax" with its usage text, and lists every process without it.
    // Once that form has listed them, the session keeps to it. When it gives nothing
    // either, the first command's cause stands (the trace has both).
    if (rejected && ax_form) {
        std::string second;
        count = run_ps(busybox_ps, commands, commands_max, running, users, &second);
        if (second.empty()) {
            session_forms().ps_without_ax = true;
            if (problem)
                problem->clear();
        }
    }
    return count;
}

int params_processes(param_array& param, std::size_t budget)
{
    std::vector<std::string> commands;
    get_processes(commands, max_entries, std::nullopt);
    // The list travels as one quoted value. Matching is by prefix, so the part of a command
    // that can travel still selects the process.
    for (std::string& c : commands)
        c.resize(travelling_length(c));
    param_combo(param, "Select Process", 1, commands, budget);
    return param.size();
}

void run_processes(const param_array& arg, int& status, std::string& result)
{
    if (arg.empty() || arg.key(0) != "Select Process")
        return;
    const std::string& name = arg.value(0);
    std::vector<std::string> commands;
    std::string problem;
    int count = get_processes(commands, max_entries, name, &problem);
    if (!problem.empty()) {
        result = problem;
        return;
    }
    status = count;
    result = "Process " + name + (status != 0 ? " is running" : " is not running");
}

} // namespace dorv
