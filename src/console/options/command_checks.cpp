// The checks of one command and of discover's place on the command line.
#include "console/options/command_checks.h"

#include <cstdint>

#include "console/figures/threshold_range.h"
#include "console/options/network_options.h"
#include "console/output/format.h"

namespace dorv {

namespace {

// How many arguments a command takes, and what is said when it gets another number.
struct verb_rule {
    const char* verb;
    std::size_t min_args;
    std::size_t max_args;
    const char* wrong_count;
};

const verb_rule verbs[] = {
    {"list", 0, 0, "list takes no arguments"},
    {"describe", 1, 1, "describe takes one check name"},
    {"run", 1, SIZE_MAX, "run needs a check name"},
    {"run-all", 0, 0, "run-all takes no arguments"},
    {"discover", 0, 0, "discover takes no arguments"},
    {"serve", 0, SIZE_MAX, ""}, // its own options follow it; the exporter reads them
};

bool check_verb(const console_command& c, std::string& error)
{
    if (c.verb.empty())
        return fail(error, "empty command (\"+\" with nothing after it?)");
    for (const auto& v : verbs) {
        if (c.verb != v.verb)
            continue;
        if (c.args.size() >= v.min_args && c.args.size() <= v.max_args)
            return true;
        return fail(error, v.wrong_count);
    }
    std::string known;
    for (const auto& v : verbs)
        known += (known.empty() ? "" : ", ") + std::string(v.verb);
    return fail(error, "unknown command \"" + c.verb + "\" (commands: " + known + ")");
}

} // namespace

bool check_command(const console_command& c, std::string& error)
{
    if (!check_verb(c, error))
        return false;
    if (!c.args.empty() && c.args[0].empty())
        return fail(error, c.verb + ": empty check name");
    for (auto [name, limit] : {std::pair{"-w", &c.warning}, std::pair{"-c", &c.critical}}) {
        std::string why;
        if (*limit && !parse_limit_value(**limit, why))
            return fail(error, c.verb + " " + c.args[0] + ": " + name + " \"" + **limit +
                                   "\" is no limit or threshold range: " + why);
    }
    if (c.service && !line_safe(*c.service))
        return fail(error, "--service needs a name without ';' or a line end");
    return true;
}

bool line_safe(const std::string& v)
{
    return !v.empty() && v.find_first_of(";\n\r") == std::string::npos;
}

// discover stands alone, prints configuration in a format that has it, and names the host
// it configures; the other commands print results.
bool check_discover(const console_options& o, std::string& error)
{
    bool discover = false;
    for (const console_command& c : o.commands)
        discover = discover || c.verb == "discover";
    if (!discover) {
        if (!format_serves(o.format, format_use::results))
            return fail(error, "--format " + o.format + " is for discover; the other commands take " +
                                   format_names(", ", " or ", format_use::results));
        if (o.hosts && !fleet_format(o.format))
            return fail(error, hosts_format_problem);
        return !o.all_mounts || fail(error, "--all-mounts is for discover");
    }
    if (o.commands.size() > 1)
        return fail(error, "discover is a command of its own: no \"+\" with it");
    if (!format_serves(o.format, format_use::configuration))
        return fail(error,
                    "discover needs --format " + format_names(", ", " or ", format_use::configuration));
    if (!o.host && !o.hosts)
        return fail(error, "discover needs --host NAME, the name the scheduler knows the host by");
    return !o.submit || fail(error, "discover prints configuration; --submit is for results");
}

} // namespace dorv
