// A many-hosts run: the same commands on every host of a list, each host in a process of
// its own (which runs one agent session, with its own deadline, and prints its passive
// results), up to `jobs` at a time. A host that hangs holds only its own slot; its
// process is ended when its deadline and a margin have passed.
#pragma once

#include <cstdio>
#include <functional>
#include <string>
#include <vector>

#include "console/host_list.h"

namespace dorv {

struct host_report {
    std::string name;
    int status = -1;    // the host process's exit status; -1 when it was killed or did not start
    double seconds = 0; // from its start to its end
    std::string output; // what it printed: its passive result lines
    bool failed() const { return status < 0 || status == 3; }
};

struct many_hosts_settings {
    std::size_t jobs = 16;
    double deadline_seconds = 30; // the hosts' own deadline; SIGTERM 10 s later, SIGKILL 5 s after
    bool progress = false;        // a progress line on err
};

// Runs run_host(host) in a child process for every host, its standard output on a pipe;
// run_host returns the child's exit status. on_done gets each host's report as it ends.
void run_hosts(const std::vector<host_entry>& hosts, const many_hosts_settings& settings,
               const std::function<int(const host_entry&)>& run_host,
               const std::function<void(const host_report&)>& on_done, std::FILE* err);

// Counts and the slowest host, in one line: "1000 hosts: 998 answered, 2 failed (db7,
// db9), slowest db3 4.2 s; 12.3 s in all". At most five failed hosts are named.
std::string hosts_summary(const std::vector<host_report>& reports, double seconds);

} // namespace dorv
