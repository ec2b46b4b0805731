// Checks of the administrator's own, declared in "[check:NAME]" sections of the
// configuration file and of the drop-in files beside it. The reader here is pure: it
// takes the lines of each file as the configuration reader splits them and builds the
// checks with every problem found, which keeps a check from running.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "checks/command_line.h"
#include "config/config.h"
#include "config/shape.h"

namespace dorv {

enum class param_kind {
    number,    // "number=NAME" or "number=NAME: USUAL": an optional '-' and at most 18 digits
    list,      // "list=NAME: V, V, ...": one of fixed values
    list_from, // "list-from=NAME: /program args": one of the lines a command prints
};

struct check_parameter {
    param_kind kind;
    std::string name;
    std::vector<std::string> values;   // list: the values in order
    std::string usual;                 // number: the value a run with usual limits gives it; "" none
    std::vector<command_word> command; // list-from: the command's words (no placeholders)
    int line = 0;
};

struct configured_check {
    std::string name;
    std::string file;
    int line = 0; // of its header
    std::string description;
    std::string command_text;
    int command_entry_line = 0;        // the line number of its command= entry
    std::vector<command_word> command; // the program (a literal absolute path), then its arguments
    int timeout = 0;                   // seconds; 0: [agent] probe_timeout
    std::vector<check_parameter> params;
    std::vector<std::string> problems; // any keeps the check from running
};

struct config_problem {
    std::string file;
    int line;
    std::string text;
};

// Reads the lines of the configuration file and its drop-in files, one file after the
// other. In the configuration file only "[check:...]" sections are looked at (the rest is
// the firewall's and the agent's); in a drop-in file everything is, and any other section
// is reported and ignored.
class check_reader {
  public:
    void begin_file(std::string file, bool dropin);
    void line(const config_line& l);
    // Finishes the last section of the file; call before the next begin_file and at the end.
    void end_file();

    // The checks in the order of their sections; a section whose name is bad or taken
    // makes none.
    std::vector<configured_check> checks;
    // Every problem, with its file and line.
    std::vector<config_problem> problems;

  private:
    void header(const config_line& l);
    void entry(const config_line& l);
    void parameter(const config_line& l, std::string_view key, std::string_view value);
    void finish();
    void add(int line, std::string text);

    std::string file_;
    bool dropin_ = false;
    std::optional<configured_check> current_; // the check section being read
    bool ignored_ = false;                    // in a check section that makes no check
    config_shape shape_;                      // of the file being read
};

// A check's name as the section gives it: 1 to 100 letters, digits, '_', '-' and '.'.
bool valid_check_name(std::string_view name);

// The text of a number parameter's value is a number: an optional '-' and 1 to 18 digits.
bool valid_number(std::string_view value);

} // namespace dorv
