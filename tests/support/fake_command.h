// Fake commands for the probes: shell scripts written into a directory of the test's own,
// and that directory put first on PATH, so that a probe runs them instead of the host's.
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "support/temp_dir.h"

namespace dorv_test {

// Writes an executable shell script ("#!/bin/sh" and body) at path.
void write_script(const std::string& path, const std::string& body);

// Writes dir/name, a command that runs `first` (shell text, may be "") and then prints
// text, which is kept beside it in dir/name.out.
void printing_command(const std::string& dir, const std::string& name, const std::string& text,
                      const std::string& first = "");

// A PATH value: the directories of prefix, then the test's own PATH (/usr/bin:/bin when
// it has none).
std::string prefixed_path(const std::vector<std::string>& prefix);

// Asks fake_commands to put its directory first on the test's own PATH.
struct first_on_path_t {};
inline constexpr first_on_path_t first_on_path;

// A fresh directory of fake commands, removed with them at the end of its life. With
// first_on_path, the directory comes first on the test's own PATH meanwhile (the probes
// start their commands through /bin/sh, which finds them there); the old PATH is put back.
class fake_commands {
  public:
    fake_commands() = default;
    explicit fake_commands(first_on_path_t);
    ~fake_commands();

    const std::string& dir() const { return dir_.dir(); }
    std::string path(const std::string& name) const { return dir_.path(name); }

    // Writes the command name as a shell script with the given body.
    void script(const std::string& name, const std::string& body) const;
    // A command that records its arguments in <dir>/<name>.args and prints text.
    void printing(const std::string& name, const std::string& text) const;
    // The arguments of the last run of name, as one line without its line feed.
    std::string args_of(const std::string& name) const;

  private:
    temp_dir dir_;
    std::optional<std::string> old_path_; // PATH before, when the directory was put first
};

} // namespace dorv_test
