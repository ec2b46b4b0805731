// The configuration file, an INI file read afresh at every lookup.
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// Path of the configuration file: "/etc/dorv/dorv.ini" in the shipped agent.
extern std::string g_config_path;

// The directory of drop-in files beside the configuration file at config_path: "dorv.d" in
// its directory ("/etc/dorv/dorv.d" for the shipped agent).
std::string dropin_dir(const std::string& config_path);

// The files of dir whose names end in ".ini", as paths, in byte order of their names;
// none when the directory cannot be read.
std::vector<std::string> dropin_files(const std::string& dir);

// Value of the first entry of key in section, or default_value when there is none (also
// when the file cannot be read). Lines of more than 16383 characters count as several.
std::optional<std::string> dorv_config(const std::string& section, const std::string& key,
                                       const std::optional<std::string>& default_value);

// One line of the configuration file as every lookup judges it.
struct config_line {
    enum kind_t { comment, blank, header, entry } kind;
    int number;               // counted from 1; a piece of an overlong line counts its own
    bool piece;               // a piece after the first of a line over 16383 characters
    std::string_view section; // the section current after this line
    std::string_view text;    // the line after chomp
};

// The outcome of reading the file through: missing (also a missing directory), read whole,
// or present but not readable (error holds the reason).
struct config_read {
    enum status_t { missing, read, unreadable } status;
    std::string error;
};

// Splits text into lines as a lookup reads the file (pieces of at most 16383 characters,
// each cut at a zero byte) and hands each line to visit; visit returns false to stop.
void scan_config(std::string_view text, const std::function<bool(const config_line&)>& visit);

// The largest configuration or drop-in file read; a larger one is not read at all.
inline constexpr std::size_t max_config_size = std::size_t{1024} * 1024;

// Reads the file at path line by line, in the pieces and by the rules of a lookup, and
// hands each line to visit; visit returns false to stop early. A final symbolic link is
// not followed, and anything but a regular file of at most max_config_size bytes (a FIFO,
// a device, a directory) is unreadable without a byte of it being read.
config_read read_config(const std::string& path, const std::function<bool(const config_line&)>& visit);

} // namespace dorv
