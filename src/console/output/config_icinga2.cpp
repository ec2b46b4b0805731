// Discover's Icinga 2 configuration: data, not rules. A host template "dorv-NAME" holds
// the host's services in vars.dorv_services; the apply rule of the shipped
// contrib/icinga2/dorv-discovered.conf turns them into services with the dorv command.
#include <optional>
#include <string>
#include <vector>

#include "console/output/config_safety.h"
#include "console/output/discovered.h"

namespace dorv {

namespace {

// The dictionary entry of s; nothing, with why set, when Icinga 2 cannot carry it.
std::optional<std::string> service_entry(const discovered_service& s, std::string& why)
{
    if (!(why = icinga_name_problem(s.name)).empty())
        return std::nullopt;
    std::string values;
    for (const auto& v : s.values) {
        std::optional<std::string> literal = icinga_string(v);
        why = literal ? console_word_problem(v)
                      : "it holds a control character or a byte outside printable ASCII";
        if (!why.empty()) {
            why.insert(0, std::string("a value \"").append(shown(v)).append("\": "));
            return std::nullopt;
        }
        values += (values.empty() ? " " : ", ") + *literal;
    }
    return "    " + *icinga_string(s.name) + " = {\n      check = " + *icinga_string(s.check) +
           "\n      values = [" + values + " ]\n    }\n";
}

} // namespace

std::string write_icinga2_configuration(const host_facts& facts)
{
    std::string out = "// " + generated_line(facts) + "\n";
    if (std::string why = icinga_name_problem(facts.host); !why.empty())
        return out + "// nothing written: the host name \"" + shown(facts.host) + "\": " + why + "\n";
    std::vector<left_out> notes = facts.notes;
    std::string entries;
    for (const auto& s : facts.services) {
        std::string why;
        if (std::optional<std::string> entry = service_entry(s, why))
            entries += *entry;
        else
            notes.push_back({s.name, why});
    }
    for (const auto& n : notes)
        out += "// " + left_out_line(facts, n) + "\n";
    return out + "template Host " + *icinga_string("dorv-" + facts.host) + " {\n  vars.dorv_services = {\n" +
           entries + "  }\n}\n";
}

} // namespace dorv
