// The configuration file, an INI file read afresh at every lookup, and chomp, the line-end
// trimming that every reader of text lines applies.
#pragma once

#include <optional>
#include <string>

namespace dorv {

// Path of the configuration file: "/etc/dorv/dorv.ini" in the shipped agent.
extern std::string g_config_path;

// Value of the first entry of key in section, or default_value when there is none (also
// when the file cannot be read). Lines of more than 16383 characters count as several.
std::optional<std::string> dorv_config(const std::string& section, const std::string& key,
                                       const std::optional<std::string>& default_value);

// Removes a trailing line feed, then a carriage return, then a line feed, each at most
// once. Returns line.
std::string& chomp(std::string& line);

}  // namespace dorv
