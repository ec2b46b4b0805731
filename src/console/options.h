// The console's command line: options first, then one or more commands joined by "+".
#pragma once

#include <optional>
#include <string>
#include <vector>

namespace dorv {

enum class output_format { human, plugin, json };

struct console_command {
    std::string verb;               // "list", "describe" or "run"
    std::vector<std::string> args;  // the check name first, for describe and run
};

struct console_options {
    std::optional<std::string> agent;  // --agent PATH: the local agent binary
    std::optional<std::string> ssh;    // --ssh DESTINATION
    std::vector<std::string> ssh_options;
    std::string remote_command = "dorv";
    double timeout = 30;
    output_format format = output_format::human;
    bool verbose = false;
    bool help = false;
    std::vector<console_command> commands;
};

// Parses the arguments after the program name. Returns nothing, with error set, when they
// are not a valid command line. "--help" alone is valid and sets help.
std::optional<console_options> parse_options(const std::vector<std::string>& args, std::string& error);

// The text of --help.
std::string usage_text();

}  // namespace dorv
