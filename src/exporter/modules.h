// The exporter's modules: named sets of checks with their values and limits, from a small
// INI-style file. Pure: it takes the file's text.
//
//   [module:web]
//   run = CPU -w 80 -c 90
//   run = DiskSpace -w 20 -c 10 /var
//   run = Processes "nginx: master"
//
// Each "run" line is one run command of the console (what follows "run" on its command
// line; double quotes keep blanks in a value); a module's runs share one agent session.
// The module "run-all" runs every check with usual limits, and is there without a file.
#pragma once

#include <string>
#include <vector>

namespace dorv {

struct probe_module {
    std::string name;
    // The console's commands, each its words: {"run", "CPU", "-w", "80"}, or {"run-all"}.
    std::vector<std::vector<std::string>> commands;
};

// The module every probe without module= runs.
inline constexpr const char* default_module = "run-all";

// The modules of text, the built-in run-all first. A line that is not a section, a "run"
// of a module, a comment ('#' or ';') or blank sets error to say which and where, and
// nothing is returned; so does a module without runs, a name given twice, or a name that
// is not letters, digits, '_', '-' and '.'.
std::vector<probe_module> parse_modules(const std::string& text, std::string& error);

// The words of a line: blanks separate them, double quotes keep blanks in one. False when
// a quote is not closed.
bool split_words(const std::string& line, std::vector<std::string>& words);

// The module called name; nullptr when there is none.
const probe_module* find_module(const std::vector<probe_module>& modules, const std::string& name);

} // namespace dorv
