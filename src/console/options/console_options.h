// What the console's command line asks for, as the option parsers fill it in: the
// options and the commands.
#pragma once

#include <optional>
#include <string>
#include <utility>
#include <vector>

#include "base/fail.h"
#include "console/output/format.h"

namespace dorv {

struct console_command {
    std::string verb;              // one of the verbs options.cpp knows
    std::vector<std::string> args; // the check name first, for describe and run
    // run only: -w, -c and --service given after the check name (or, for a single run,
    // among the options before it).
    std::optional<std::string> warning;
    std::optional<std::string> critical;
    std::optional<std::string> service;
};

// --submit: passive results to the Icinga 2 API instead of standard output.
struct submit_options {
    std::string url;           // https://HOST:5665
    std::string user;          // --submit-user
    std::string password_file; // --submit-password-file
    std::string cert, key;     // --submit-cert, --submit-key: a client certificate instead
    std::string ca;            // --submit-ca: the CA file the server is verified against
    int ttl = 300;             // --submit-ttl: how long a result stands
};

struct console_options {
    std::optional<std::string> agent; // --agent PATH: the local agent binary
    std::optional<std::string> ssh;   // --ssh DESTINATION
    std::vector<std::string> ssh_options;
    std::string remote_command = "dorv";
    double timeout = 30;
    std::string format = default_format(); // an output format's name
    int reuse = -1; // --reuse SECONDS: how long an ssh master stays; -1 the default, 0 none
    bool verbose = false;
    std::optional<std::string> host; // --host NAME: the host of passive results
    std::optional<submit_options> submit;
    std::optional<std::string> hosts; // --hosts FILE: the same commands on every host of FILE
    int jobs = 20;                    // -j, --jobs: hosts at a time
    bool all_mounts = false;          // discover: the system file systems too
    bool help = false;
    bool version = false;
    std::vector<console_command> commands;
};

} // namespace dorv
