// Process check: is a program of the users "root" or "dorv" running, from ps.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "probes/command.h"
#include "protocol/param_array.h"

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

// Splits one ps line (line end already removed); nothing when the user is neither
// "root" nor "dorv".
std::optional<process_line> parse_process_line(std::string_view line);

// Parses ps output (its first line is the header): appends the kept texts to commands,
// at most commands_max - 1 of them, traces each qualifying line, and returns how many kept
// texts begin with `running` (0 when running is absent). Lines past the list's capacity
// still count.
int parse_ps(line_source& lines, std::vector<std::string>& commands, int commands_max,
             const std::optional<std::string>& running);

// Runs ps for this system and parses it; the system name unreadable ends the agent with
// status 2.
int get_processes(std::vector<std::string>& commands, int commands_max,
                  const std::optional<std::string>& running);

// The kept texts as the values of the list combo "Select Process", each cut before its
// first '"' or '#', which the quoted descriptor list cannot carry.
int params_processes(param_array& param);
void run_processes(const param_array& arg, int& status, std::string& result);

}  // namespace dorv
