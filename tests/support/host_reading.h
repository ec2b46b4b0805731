// What the tests read of this host themselves, to hold the agent's answers against: a
// command's output, /proc/meminfo, and the figures of the host's own df.
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

// Mount points and Use% figures of /bin/df, in its order.
std::vector<std::pair<std::string, int>> host_df();

} // namespace dorv_test
