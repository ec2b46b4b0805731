// The built-in checks as data, compiled into the agent and the console alike: names and
// descriptions, the figure each result text carries, the usual limit and list choice, and
// a note for the user. No code: the agent's check table pairs these rows with its
// descriptor builders and runners; the console knows no more of a check than this row and
// what the agent answers.
#pragma once

#include <string_view>

#include "base/named_rows.h"

namespace dorv {

// The figure that a check's result text carries, which sets the sense of its limits.
enum class figure_kind {
    none, // no figure (Processes)
    load, // a CPU load: alarm while above the limit
    used, // a used share: alarm while the free share (100 - used) is at or below the limit
    free, // a free share: alarm while at or below the limit
};

struct check_figure {
    figure_kind kind;
    const char* label;      // the figure's name: "load", "used", "free"
    const char* perf_label; // its performance-data label; nullptr: the value of arg_label
    int arg_label;          // the argument whose value names it (the disk), when perf_label is nullptr
};

struct check_profile {
    const char* name;
    const char* desc;
    check_figure figure;
    const char* default_limit;  // the usual alarm level of its limit, nullptr when it takes none
    const char* default_choice; // the value of its list preferred when offered, nullptr when none
    const char* note;           // said after its parameters are described, nullptr when nothing
};

// The built-in checks in the order the agent offers them, then a row of nulls. The CPU
// load is the user and system share of the processor time, a percentage; DiskSpace tells
// the used share of its disk, RAM and Swap the free share of their memory.
inline constexpr check_profile check_catalog[] = {
    {"CPU", "CPU Usage", {figure_kind::load, "load", "cpu_load", 0}, "90", nullptr, nullptr},
    {"DiskSpace", "DiskSpace Usage", {figure_kind::used, "used", nullptr, 1}, "10", "/", nullptr},
    {"RAM", "RAM Usage", {figure_kind::free, "free", "ram_free", 0}, "10", nullptr, nullptr},
    {"Swap", "Swap Usage", {figure_kind::free, "free", "swap_free", 0}, "10", nullptr, nullptr},
    {"Processes",
     "Running processes",
     {figure_kind::none, nullptr, nullptr, 0},
     nullptr,
     "dorv",
     "A process counts when its command, from the program name on, begins with the value; only the\n"
     "processes of the users in the agent's [agent] process_users count (default: root,dorv).\n"},
    {},
};

// The catalog's positions of the built-in checks, by which the agent's table takes them.
enum catalog_index { catalog_cpu, catalog_diskspace, catalog_ram, catalog_swap, catalog_processes };

// The catalog row of check; nullptr for a check the catalog does not hold.
inline const check_profile* find_profile(std::string_view check)
{
    return find_named(check_catalog, check);
}

} // namespace dorv
