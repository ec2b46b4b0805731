// The hygiene of a configuration file's lines.
#include "config/shape.h"

#include "base/text_helpers.h"
#include "config/keys.h"

namespace dorv {

namespace {

constexpr const char* long_line_problem =
    "line longer than 16383 characters: the rest is read as further lines";

} // namespace

config_entry split_entry(std::string_view text)
{
    config_entry e;
    std::size_t eq = text.find('=');
    if (eq == std::string_view::npos || eq == 0) {
        e.problem = !text.empty() && text[0] == '['
                        ? "not a section header: nothing may follow ']' and '[' needs a ']'"
                        : "neither comment, section header nor key=value entry";
    } else if (is_blank(text[0])) {
        // Keys are matched whole: a blank before or in one leaves the entry unused.
        e.problem = "blank before the key: the line matches no key";
    } else if (is_blank(text[eq - 1])) {
        e.problem = "blanks around '=': the line matches no key";
    } else {
        e.key = text.substr(0, eq);
        e.value = text.substr(eq + 1);
    }
    return e;
}

bool is_check_section(std::string_view section)
{
    return section.substr(0, check_section_prefix.size()) == check_section_prefix;
}

std::string unused_section_problem(std::string_view section, bool dropin)
{
    if (dropin && is_config_section(section))
        return "section [" + std::string(section) +
               "] in a drop-in file is ignored: only [check:...] sections count there";
    return "section [" + std::string(section) + "] is not used by the agent";
}

std::optional<std::string> config_shape::long_line(const config_line& l)
{
    if (!l.piece || l.number == last_long_)
        return std::nullopt;
    last_long_ = l.number;
    return long_line_problem;
}

config_entry config_shape::entry(const config_line& l) const
{
    config_entry e = split_entry(l.text);
    if (!e.problem && l.section.empty())
        e.problem = "entry before any section header is not used";
    return e;
}

std::optional<std::string> config_shape::repeated(const config_line& l, std::string_view key)
{
    std::map<std::string, int>& seen = keys_seen_[std::string(l.section)];
    auto [it, first] = seen.emplace(std::string(key), l.number);
    if (first)
        return std::nullopt;
    return "repeated key \"" + std::string(key) + "\": the one on line " + std::to_string(it->second) +
           " is used";
}

} // namespace dorv
