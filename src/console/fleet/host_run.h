// The console's --hosts run: the command line's commands on every host of the host file,
// each host in a process of its own (this console again, for that host alone), each
// host's results printed as passive lines or sent to the Icinga 2 API, and one line on
// standard error that sums the run up.
#pragma once

#include <cstdio>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "console/fleet/host_list.h"
#include "console/fleet/many_hosts.h"
#include "console/fleet/submit.h"
#include "console/options/options.h"

namespace dorv {

// One host's session with the options made for it (its destination and name, passive
// format): its results go to sink, what it prints to out, its messages to err. Its exit
// status.
using session_runner =
    std::function<int(const console_options& o, result_sink* sink, std::FILE* out, std::FILE* err)>;

// The arguments that make the console one host's process of a --hosts run: "--one-host
// DESTINATION NAME" in front of the run's own.
std::vector<std::string> host_process_args(const host_entry& host, const std::vector<std::string>& args);

// The host that such arguments name, taken off args; nothing (args as they were) for others.
std::optional<host_entry> take_host_process_args(std::vector<std::string>& args);

// One host's process: runs the host's session through session, its messages on err with
// "dorv-console: NAME: " in front, and writes what it printed and its results, encoded,
// to out. Its exit status.
int run_host_process(const console_options& o, const host_entry& host, const session_runner& session,
                     std::FILE* out, std::FILE* err);

// Runs o's commands on every host of o.hosts, each in the process that command gives. Each
// host's results go to out, or to sink when there is one; a host whose process could not
// start or ended without its results gets UNKNOWN results saying so. The exit status: 0
// when every host answered (and every result was accepted), else 3.
int run_host_list(const console_options& o, const host_command& command, result_sink* sink, std::FILE* out,
                  std::FILE* err);

} // namespace dorv
