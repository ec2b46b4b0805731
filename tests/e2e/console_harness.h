// Runs the built dorv-console as a user would and collects what it printed.
#pragma once

#include <map>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace dorv_test {

struct console_result {
    int status = -1; // exit status, -signal when killed
    std::string out;
    std::string err;
    double seconds = 0;
};

struct console_env {
    std::string cwd;                        // "" keeps the test's own
    std::vector<std::string> path_prefix;   // put in front of PATH
    std::map<std::string, std::string> set; // variables to set
    std::vector<std::string> unset;         // variables to remove
};

// Runs dorv-console with args; kills it after 60 s.
console_result run_console(const std::vector<std::string>& args, const console_env& env = {});

// A fresh directory holding etc/dorv/dorv.ini ("[agent]\nlog=DIR/trace.log\n" then text),
// for the test agent that reads its configuration under its working directory.
std::string config_dir(const std::string& text);

// Counts the occurrences of what in text.
int count_of(const std::string& text, const std::string& what);

// Writes DIR/bin/NAME, a fake probe command that prints output (and, when count_file is
// given, appends a line to it each time it runs).
void fake_command(const std::string& dir, const std::string& name, const std::string& output,
                  const std::string& count_file = "");

// The test agent in a directory of its own, with a fake vmstat whose live sample has 9 %
// user and 6 % system time (this host's layout). Fake commands go into home.path("bin"),
// which is first in the agent's PATH. The console's parameter cache lives in home too.
struct local_agent {
    temp_dir home;
    std::string agent = DORV_TEST_AGENT; // what --agent names
    explicit local_agent(const std::string& config = "");
    console_result run(std::vector<std::string> args, console_env env = {}) const;
    std::string trace() const;
};

} // namespace dorv_test
