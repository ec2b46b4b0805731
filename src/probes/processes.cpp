// Process check.
#include "probes/processes.h"

#include <sys/utsname.h>

#include <algorithm>

#include "checks/descriptors.h"
#include "config/config.h"
#include "protocol/limits.h"
#include "protocol/trace.h"

namespace dorv {

std::string ps_command(std::string_view sysname)
{
    if (sysname == "IRIX64" || sysname == "SunOS")
        return "ps -e -o user,args";
    return "ps -ax -o user,args";
}

std::optional<process_line> parse_process_line(std::string_view line)
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
    if (p.user != "root" && p.user != "dorv")
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
             const std::optional<std::string>& running)
{
    std::string line;
    if (!lines.next(line))
        return 0;  // the column header, whatever it holds
    int count = 0;
    while (lines.next(line)) {
        chomp(line);
        std::optional<process_line> p = parse_process_line(line);
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

int get_processes(std::vector<std::string>& commands, int commands_max,
                  const std::optional<std::string>& running)
{
    utsname name;
    if (::uname(&name) != 0)
        end_agent(exit_no_sysname);
    command_pipe ps(ps_command(name.sysname));
    if (!ps.started())
        return 0;
    return parse_ps(ps, commands, commands_max, running);
}

int params_processes(param_array& param)
{
    std::vector<std::string> commands;
    get_processes(commands, max_entries, std::nullopt);
    // The list travels as one quoted value whose inner packet the console decodes again: a
    // '"' would end the quoted value and a '#' the pair. Matching is by prefix, so the text
    // before them still selects the process.
    for (std::string& c : commands)
        c.erase(std::min(c.find_first_of("\"#"), c.size()));
    param_combo(param, "Select Process", 1, commands);
    return param.size();
}

void run_processes(const param_array& arg, int& status, std::string& result)
{
    if (arg.empty() || arg.key(0) != "Select Process")
        return;
    const std::string& name = arg.value(0);
    std::vector<std::string> commands;
    status = get_processes(commands, max_entries, name);
    result = "Process " + name + (status != 0 ? " is running" : " is not running");
}

}  // namespace dorv
