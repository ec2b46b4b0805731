// The console program: parse the command line, open one agent session, run the commands
// over it and print their results.
//
// One error convention holds throughout the console: a function that can fail returns
// std::optional of what it makes (bool when it makes nothing) and, where there is a
// reason to tell, writes it into a std::string& error argument. Nothing in the console
// throws; the one exception it can meet, the shared parameter array's exit_request, is
// caught in run_console.
#pragma once

#include <cstdio>
#include <string>
#include <vector>

namespace dorv {

// Runs the console with the arguments after the program name; returns the exit status
// (0 up, 2 down, 3 unknown).
int run_console(const std::string& self_path, const std::vector<std::string>& args, std::FILE* out,
                std::FILE* err);

} // namespace dorv
