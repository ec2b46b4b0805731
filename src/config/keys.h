// The configuration keys the agent reads, in one table: section, key, default and the
// kind of value, which says how the agent reads it and how --check-config judges it.
// Every reader takes its default from here, so a value that --check-config reports as a
// problem is one that the agent replaces by the default (where the kind has a default).
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dorv {

enum class value_kind {
    path,           // a file path, taken as it is ("" included)
    seconds,        // a whole number of seconds, at least 1 (its leading digits)
    user_list,      // "*" or user names separated by commas
    address_ranges, // the client addresses a login admits (firewall)
};

struct config_key {
    const char* section;
    const char* key;           // nullptr: any key (the firewall's login names)
    const char* default_value; // nullptr: none (the lookup yields nothing)
    value_kind kind;
};

// The table, ended by a row whose section is null.
extern const config_key config_keys[];

// The row of key in section (a row for any key matches every key of its section);
// nullptr when the agent reads no such key.
const config_key* find_config_key(std::string_view section, std::string_view key);

// Whether the agent reads section at all.
bool is_config_section(std::string_view section);

// A seconds value as the agent reads it; nothing when it is not one (no leading digits,
// or below 1).
std::optional<int> read_seconds(std::string_view value);

// The value of key in section as the agent reads it: the file's entry, or the table's
// default when the file has none, or when the entry is not a value of the key's kind
// and the kind says so (seconds). Nothing when there is neither.
std::optional<std::string> config_value(std::string_view section, std::string_view key);

// config_value of a seconds key, read as seconds.
int config_seconds(std::string_view section, std::string_view key);

// The keys of a "[check:NAME]" section, the second table: a check's own keys, each given
// once, and the keys that declare a parameter, one entry per parameter.
struct check_key {
    const char* key;
    bool parameter;
};

// The table, ended by a row whose key is null.
extern const check_key check_keys[];

// The row of key in a check section; nullptr when a check section takes no such key.
const check_key* find_check_key(std::string_view key);

} // namespace dorv
