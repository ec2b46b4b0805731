// Running a configured check's program (a monitoring plugin): directly, without a shell,
// in a process group of its own, with standard input on /dev/null and a small fixed
// environment. Its output is read to the end and at most 64 KiB of it kept, so that a
// plugin that prints without end is never blocked and never fills the agent's memory; its
// error output is read alongside and reaches the trace log as one escaped line of at most
// 1 KiB per run. At the deadline its whole group is killed; after the run, so is what it
// left running outside its group, where the platform lets the agent find it.
#pragma once

#include <string>
#include <vector>

namespace dorv {

// How much of a plugin's standard output is kept.
inline constexpr std::size_t plugin_output_limit = std::size_t{64} * 1024;
// How much of its error output reaches the trace log, per run.
inline constexpr std::size_t plugin_errors_limit = 1024;

struct plugin_run {
    enum outcome_t { exited, signalled, timed_out, not_started } outcome = not_started;
    int code = 0;       // the exit status, or the signal's number
    std::string output; // the first 64 KiB of its standard output
    bool cut = false;   // it printed more than that
    std::string cause;  // for every outcome but exited: one line saying what happened
};

// The environment a plugin gets, and nothing else: the probes' PATH and LC_ALL=C.
std::vector<std::string> plugin_environment();

// Runs argv (argv[0] an absolute path) for at most timeout_seconds. The console going
// away meanwhile ends the agent, as it does while a probe runs.
plugin_run run_plugin(const std::vector<std::string>& argv, int timeout_seconds);

} // namespace dorv
