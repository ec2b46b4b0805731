// Runs the built dorv-console as a user would and collects what it printed.
#pragma once

#include <map>
#include <string>
#include <vector>

namespace dorv_test {

struct console_result {
    int status = -1;  // exit status, -signal when killed
    std::string out;
    std::string err;
    double seconds = 0;
};

struct console_env {
    std::string cwd;                         // "" keeps the test's own
    std::vector<std::string> path_prefix;    // put in front of PATH
    std::map<std::string, std::string> set;  // variables to set
    std::vector<std::string> unset;          // variables to remove
};

// Runs dorv-console with args; kills it after 60 s.
console_result run_console(const std::vector<std::string>& args, const console_env& env = {});

// A fresh directory holding etc/dorv/dorv.ini ("[agent]\nlog=DIR/trace.log\n" then text),
// for the test agent that reads its configuration under its working directory.
std::string config_dir(const std::string& text);

// Counts the occurrences of what in text.
int count_of(const std::string& text, const std::string& what);

}  // namespace dorv_test
