// A many-hosts run: the same commands on every host of a list, each host in a process of
// its own (which runs one agent session, with its own deadline, and writes its results
// on its standard output), up to `jobs` at a time. A host that hangs holds only its own
// slot; its process is ended when its deadline and a margin have passed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "console/fleet/host_list.h"

namespace dorv {

struct host_report {
    std::string name;
    int status = -1;         // the host process's exit status; -1 when it was killed or did not start
    double seconds = 0;      // from its start to its end
    std::string output;      // what it wrote on its standard output
    std::string start_error; // why its process could not be started; "" when it was
    std::size_t index = 0;   // its place in the host list
    bool failed() const { return status < 0 || status == 3; }
};

struct many_hosts_settings {
    std::size_t jobs = 16;
    double deadline_seconds = 30; // the hosts' own deadline; SIGTERM 10 s later, SIGKILL 5 s after
    bool progress = false;        // a progress line on err
};

// The arguments of the program that runs one host.
using host_command = std::function<std::vector<std::string>(const host_entry&)>;

// Runs command(host) for every host, its standard output on a pipe, its standard error
// the console's own. on_done gets each host's report as it ends, or as it fails to start,
// and may mark it failed (status -1).
void run_hosts(const std::vector<host_entry>& hosts, const many_hosts_settings& settings,
               const host_command& command, const std::function<void(host_report&)>& on_done, std::FILE* err);

// How many hosts can run at a time with free_descriptors descriptors to spare: each holds
// one (the read end of its output) and, while it starts, one more; a few stay for the
// console's own use. At most the children that can run at once, and at least one.
std::size_t jobs_within(std::size_t jobs, std::size_t free_descriptors);

// The descriptors this process can still open under its limit; a large number when the
// limit is far beyond any run.
std::size_t free_descriptors();

// Counts and the slowest host, in one line: "1000 hosts: 998 answered, 2 failed (db7,
// db9), slowest db3 4.2 s; 12.3 s in all". At most five failed hosts are named.
std::string hosts_summary(const std::vector<host_report>& reports, double seconds);

} // namespace dorv
