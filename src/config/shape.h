// The shape of a configuration file as every reader of it judges it alike: the pieces of
// an overlong line, entries that match no key or stand before any section header, keys
// given twice in a section, sections nobody reads, and the "check:" sections. The readers
// of the agent's settings and of its own checks both take their hygiene from here.
#pragma once

#include <map>
#include <optional>
#include <string>
#include <string_view>

#include "config/config.h"

namespace dorv {

// An entry line as key and value, or why it matches no key: neither comment, header nor
// key=value, a blank before the key, or blanks before the '='.
struct config_entry {
    std::string_view key, value;
    std::optional<std::string> problem;
};
config_entry split_entry(std::string_view text);

// The section name of a check section: "check:" and the check's name.
inline constexpr std::string_view check_section_prefix = "check:";

// Whether section declares a check of the administrator's own.
bool is_check_section(std::string_view section);

// What is said of the header of a section no reader uses; in a drop-in file the agent's
// settings sections are named as such, since they count only in the configuration file.
std::string unused_section_problem(std::string_view section, bool dropin);

// The hygiene of one file, read line by line. Each judgement returns the problem it found
// (the caller files it with the line), so that the shape keeps no reference to its caller.
class config_shape {
  public:
    // The problem of the later pieces of an overlong line, told once for the line.
    std::optional<std::string> long_line(const config_line& l);

    // The key and value of an entry line, or the problem of a line that matches no key or
    // stands before any section header.
    config_entry entry(const config_line& l) const;

    // The problem of a key given before in the same section, naming the line whose value
    // is used; nothing for its first entry, which is remembered.
    std::optional<std::string> repeated(const config_line& l, std::string_view key);

  private:
    int last_long_ = 0;
    std::map<std::string, std::map<std::string, int>> keys_seen_; // first line, by section
};

} // namespace dorv
