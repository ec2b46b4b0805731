// Process check: is a program of the chosen users ("root" and "dorv" unless configured)
// running, from ps.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "probes/command.h"
#include "protocol/descriptors.h"

namespace dorv {

// "ps -e -o user,args" on "SunOS" and "IRIX64", "ps -ax -o user,args" everywhere else.
std::string ps_command(std::string_view sysname);

// What one ps line gives: the user and the command as read, and the kept text (the
// command from its program name on, without trailing blanks).
struct process_line {
    std::string user;
    std::string command;
    std::string kept;
};

// Whose processes are listed and counted: [agent] process_users, user names separated by
// commas (blanks around them ignored), or "*" for every user; "root,dorv" when absent or
// empty.
struct process_users {
    bool everyone = false;
    std::vector<std::string> names;
    // false when the text was not "*" alone or a list of names (an empty item, a blank
    // or '*' inside a name): the agent still reads what it can, --check-config says so.
    bool well_formed = true;
    bool has(std::string_view user) const;
};
process_users parse_process_users(std::string_view text);
process_users configured_process_users();
inline const process_users root_and_dorv{false, {"root", "dorv"}};

// Splits one ps line (line end already removed); nothing when the user is not one of
// users.
std::optional<process_line> parse_process_line(std::string_view line,
                                               const process_users& users = root_and_dorv);

// Parses ps output (its first line is the header): appends the kept texts to commands,
// at most commands_max - 1 of them, traces each qualifying line, and returns how many kept
// texts begin with `running` (0 when running is absent). Lines past the list's capacity
// still count. printed (when not null) tells whether ps printed a line at all.
int parse_ps(line_source& lines, std::vector<std::string>& commands, int commands_max,
             const std::optional<std::string>& running, const process_users& users = root_and_dorv,
             bool* printed = nullptr);

// Runs ps for this system and parses it for the configured users; the system name
// unreadable ends the agent with status 2. A "ps -ax -o user,args" that ends with a failure
// status and prints nothing (BusyBox's ps rejects "-ax") is followed by "ps -o user,args";
// once that one has listed the processes, the session runs only it (session_forms).
// When ps gave nothing to read (it could not run, did not finish in time, was killed, or
// printed not even its header line), problem (when not null) receives the cause, naming
// the command, and the trace has the line.
int get_processes(std::vector<std::string>& commands, int commands_max,
                  const std::optional<std::string>& running, std::string* problem = nullptr);

// The kept texts as the values of the list combo "Select Process", each cut to the part
// that can travel in the quoted descriptor list (can_travel).
int params_processes(param_array& param, std::size_t budget = unbounded);
void run_processes(const param_array& arg, int& status, std::string& result);

} // namespace dorv
