// How the agent is reached: the command line that runs it (built once, by the transport
// the options ask for) and what the connection needs to know about it. Each transport is
// a file of its own; transports.cpp is the one table that names them.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// True for a line of the process's standard error that is never the cause of a failure.
using noise_filter = bool (*)(std::string_view line);

struct transport {
    std::vector<std::string> argv; // program and its arguments
    bool remote = false;           // argv reaches another host
    std::string host;              // the destination, for messages
    std::string remote_command;    // what runs there, for messages
    std::string key;               // names this agent where its parameters are kept
    noise_filter noise = nullptr;  // none: every line counts
};

// What the command line asks of the transport.
struct transport_setup {
    std::string self_path;                          // the console's argv[0]
    std::optional<std::string> agent;               // --agent PATH
    std::optional<std::string> ssh;                 // --ssh DESTINATION
    std::vector<std::string> ssh_options;           // --ssh-option
    std::string remote_command;                     // what ssh runs there
    int reuse_seconds = 0;                          // an ssh master's life after its last session; 0 none
    std::chrono::steady_clock::time_point deadline; // the check's
    bool verbose = false;
};

// The transport of the first row in the table that wants setup; note says, for --verbose,
// what it chose to leave out ("" when nothing).
transport pick_transport(const transport_setup& setup, std::string& note);

} // namespace dorv
