// What the tests read of this host themselves, to hold the agent's answers against: a
// command's output, /proc/meminfo, /proc/stat, and the figures of the host's own df.
#pragma once

#include <map>
#include <string>
#include <utility>
#include <vector>

namespace dorv_test {

// The standard output of a shell command run by the test ("" when it cannot be started).
std::string output_of(const std::string& command);

// /proc/meminfo's amounts in kB by name, without the colon ("MemTotal", "Cached", ...).
std::map<std::string, double> meminfo();

// The first line of /proc/stat: the busy time (user, nice, system, irq, softirq, as vmstat
// counts its us and sy) and the whole time of every processor, in clock ticks.
struct cpu_ticks {
    double busy = 0;
    double total = 0;
};
cpu_ticks proc_stat();
// The busy share in percent between two readings of proc_stat.
double busy_share(const cpu_ticks& before, const cpu_ticks& after);

// Mount points and Use% figures of /bin/df, in its order.
std::vector<std::pair<std::string, int>> host_df();

} // namespace dorv_test
