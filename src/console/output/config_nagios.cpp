// Discover's Nagios object configuration: one service per discovered service, checked
// through check_dorv of the shipped contrib/nagios/dorv.cfg.
#include <string>
#include <vector>

#include "console/output/config_safety.h"
#include "console/output/discovered.h"

namespace dorv {

namespace {

// Why service cannot be written for Nagios; "" when it can.
std::string service_problem(const discovered_service& s)
{
    for (const std::string* part : {&s.check, &s.item}) {
        if (part->empty() && part == &s.item)
            continue;
        if (std::string why = nagios_problem(*part); !why.empty())
            return (part == &s.check ? "its check name: " : "its value: ") + why;
    }
    for (const auto& v : s.values) {
        std::string why = nagios_problem(v);
        if (why.empty())
            why = console_word_problem(v);
        if (!why.empty())
            return "a value \"" + shown(v) + "\": " + why;
    }
    return "";
}

std::string service_block(const host_facts& facts, const discovered_service& s)
{
    std::string arg = s.check;
    for (const auto& v : s.values)
        arg += " " + v;
    return "# " + generated_line(facts) +
           "\n"
           "define service {\n"
           "    use                     dorv-service\n"
           "    host_name               " +
           facts.host + "\n    service_description     " + s.name +
           "\n    check_command           check_dorv!" + arg + "\n}\n";
}

} // namespace

std::string write_nagios_configuration(const host_facts& facts)
{
    std::string out = "# " + generated_line(facts) + "\n";
    if (std::string why = nagios_problem(facts.host); !why.empty())
        return out + "# nothing written: the host name \"" + shown(facts.host) + "\": " + why + "\n";
    std::vector<left_out> notes = facts.notes;
    std::string blocks;
    for (const auto& s : facts.services) {
        if (std::string why = service_problem(s); !why.empty())
            notes.push_back({s.name, why});
        else
            blocks += "\n" + service_block(facts, s);
    }
    for (const auto& n : notes)
        out += "# " + left_out_line(facts, n) + "\n";
    return out + blocks;
}

} // namespace dorv
