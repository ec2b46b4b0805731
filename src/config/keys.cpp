// The table of configuration keys and the readers that take their defaults from it.
#include "config/keys.h"

#include <stdexcept>

#include "base/text_helpers.h"
#include "config/config.h"

namespace dorv {

const config_key config_keys[] = {
    {"agent", "log", "/dev/null", value_kind::path},
    {"agent", "probe_timeout", "10", value_kind::seconds},
    {"agent", "process_users", "root,dorv", value_kind::user_list},
    {"firewall", nullptr, nullptr, value_kind::address_ranges},
    {},
};

const check_key check_keys[] = {
    {"command", false},
    {"description", false},
    {"timeout", false},
    {"number", true},
    {"list", true},
    {"list-from", true},
    {},
};

const check_key* find_check_key(std::string_view key)
{
    for (const check_key* k = check_keys; k->key; ++k)
        if (key == k->key)
            return k;
    return nullptr;
}

const config_key* find_config_key(std::string_view section, std::string_view key)
{
    for (const config_key* k = config_keys; k->section; ++k)
        if (section == k->section && (!k->key || key == k->key))
            return k;
    return nullptr;
}

bool is_config_section(std::string_view section)
{
    for (const config_key* k = config_keys; k->section; ++k)
        if (section == k->section)
            return true;
    return false;
}

std::optional<int> read_seconds(std::string_view value)
{
    if (value.empty() || !is_digit(value[0]))
        return std::nullopt;
    int seconds = leading_int(value);
    return seconds >= 1 ? std::optional<int>(seconds) : std::nullopt;
}

std::optional<std::string> config_value(std::string_view section, std::string_view key)
{
    const config_key* k = find_config_key(section, key);
    // A reader asking for a key that is not in the table is a fault of the program.
    if (!k)
        throw std::logic_error("configuration key not in the table: " + std::string(key));
    std::optional<std::string> fallback;
    if (k->default_value)
        fallback = k->default_value;
    std::optional<std::string> v = dorv_config(std::string(section), std::string(key), fallback);
    if (v && k->kind == value_kind::seconds && !read_seconds(*v))
        return fallback;
    return v;
}

int config_seconds(std::string_view section, std::string_view key)
{
    std::optional<std::string> v = config_value(section, key);
    std::optional<int> seconds = v ? read_seconds(*v) : std::nullopt;
    if (!seconds)
        throw std::logic_error("no default seconds for " + std::string(key));
    return *seconds;
}

} // namespace dorv
