// What discover learns of one host (the services its checks give, with their usual
// values, and what was left out and why), and the configuration formats that print it.
// Every writer leaves out what its format cannot carry safely (config_safety.h) with a
// comment naming the host and the item, and prints in the facts' sorted order: two runs
// over an unchanged host give the same bytes. The formats are named in formats.cpp.
#pragma once

#include <string>
#include <vector>

namespace dorv {

// One service: a check with a value for each of its parameters, in parameter order.
struct discovered_service {
    std::string check;
    std::string name;                // as the passive format names it: "DiskSpace /var"
    std::vector<std::string> values; // parameter order, the limit first
    std::string item;                // the list value it was made for; "" when none
};

// Something the host offers that gives no service, with the reason.
struct left_out {
    std::string item; // "Certificate", "DiskSpace /run"
    std::string why;
};

struct host_facts {
    std::string host;                         // the scheduler's name of the host
    std::vector<discovered_service> services; // sorted by name
    std::vector<left_out> notes;              // sorted by item
};

// One writer per configuration format.
std::string write_nagios_configuration(const host_facts& facts);
std::string write_icinga2_configuration(const host_facts& facts);
std::string write_json_configuration(const host_facts& facts);

// The first line of every generated file or block, after the format's comment sign.
std::string generated_line(const host_facts& facts);

// A left-out item as a comment text, the item and the host shown safely (a note's reason
// holds no value from the host unshown).
std::string left_out_line(const host_facts& facts, const left_out& note);

} // namespace dorv
