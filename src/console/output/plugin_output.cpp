// Plugin and passive results.
#include "console/output/plugin_output.h"

#include "console/output/perfdata.h"
#include "console/text/text.h"

namespace dorv {

namespace {

// The long output of a run, each line made safe, every line ended.
std::string long_lines(const run_outcome& r)
{
    std::string out;
    for (std::string_view line : text_lines(r.long_output))
        out += plugin_text(line) + "\n";
    return out;
}

} // namespace

std::string long_output_lines(const run_outcome& r)
{
    std::string out;
    for (std::string_view line : text_lines(r.long_output))
        out += "\n" + plugin_text(line);
    return out;
}

std::string plugin_word(check_state s)
{
    switch (s) {
    case check_state::up:
        return "OK";
    case check_state::warning:
        return "WARNING";
    case check_state::down:
        return "CRITICAL";
    default:
        return "UNKNOWN";
    }
}

std::string plugin_line(const run_outcome& r)
{
    return (r.check.empty() ? "DORV" : plugin_text(r.check)) + " " + plugin_word(r.state) + " - " +
           plugin_text(r.text);
}

std::string plugin_report(const std::vector<run_outcome>& runs)
{
    perf_labels labels;
    std::string perf;
    for (const auto& r : runs)
        if (std::string p = perfdata(r, labels); !p.empty())
            perf += (perf.empty() ? "" : " ") + p;
    const std::string bar = perf.empty() ? "" : " | " + perf;
    if (runs.size() == 1)
        return plugin_line(runs[0]) + bar + "\n" + long_lines(runs[0]);

    std::vector<check_state> states;
    states.reserve(runs.size());
    for (const auto& r : runs)
        states.push_back(r.state);
    check_state worst = worst_state(states);
    std::string summary;
    for (check_state s : {check_state::down, check_state::warning, check_state::unknown, check_state::up}) {
        int n = 0;
        std::string names;
        for (const auto& r : runs)
            if (r.state == s)
                ++n, names += (names.empty() ? "" : ", ") + plugin_text(r.service);
        if (n == 0)
            continue;
        summary += (summary.empty() ? "" : ", ") + std::to_string(n) + " " + plugin_word(s);
        if (s != check_state::up)
            summary += " (" + names + ")";
    }
    std::string out = "DORV " + plugin_word(worst) + " - " + std::to_string(runs.size()) +
                      " checks: " + summary + bar + "\n";
    for (const auto& r : runs)
        out += plugin_line(r) + "\n" + long_lines(r);
    return out;
}

} // namespace dorv
