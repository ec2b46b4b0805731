// Passive results and their command-file lines.
#include "console/output/passive_result.h"

#include "console/output/perfdata.h"
#include "console/output/plugin_output.h"
#include "console/text/text.h"

namespace dorv {

namespace {

// A field of an external command: one safe line without the ';' that separates fields.
std::string command_field(const std::string& s)
{
    std::string out = plugin_text(s);
    for (char& c : out)
        if (c == ';')
            c = '_';
    return out;
}

// The check result of an external command, on one line: each line end (of the long
// output) is written "\n". Nagios turns "\\" back into a backslash and "\n" into a line
// end, Icinga 2 only "\n"; so a backslash is doubled only where it would otherwise start
// one of those (before 'n', a backslash, a line end or the end), and a lone backslash,
// which both keep, stays as it is.
std::string result_field(const std::string& s)
{
    std::string out;
    for (std::size_t i = 0; i < s.size(); ++i) {
        const char next = i + 1 < s.size() ? s[i + 1] : '\n';
        if (s[i] == '\n')
            out += "\\n";
        else if (s[i] == '\\' && (next == 'n' || next == '\\' || next == '\n'))
            out += "\\\\";
        else
            out += s[i];
    }
    return out;
}

} // namespace

std::vector<passive_result> passive_results(const std::vector<run_outcome>& runs, const std::string& host)
{
    std::vector<passive_result> out;
    for (const auto& r : runs) {
        passive_result p;
        p.host = host;
        p.service = r.service.empty() ? r.check : r.service;
        p.exit_status = state_exit(r.state);
        p.output = plugin_line(r) + long_output_lines(r);
        // Each result is a service of its own: its labels need only differ among its items.
        perf_labels labels;
        p.perfdata = perf_items(r, labels);
        out.push_back(std::move(p));
    }
    return out;
}

std::string passive_lines(const std::vector<passive_result>& results, std::time_t now)
{
    std::string out;
    const std::string stamp = std::to_string(static_cast<long long>(now));
    for (const auto& r : results) {
        // The performance data follows the first line; the long output comes after it.
        const std::size_t end = r.output.find('\n');
        std::string result = r.output.substr(0, end);
        for (std::size_t i = 0; i < r.perfdata.size(); ++i)
            result += (i == 0 ? "|" : " ") + r.perfdata[i];
        if (end != std::string::npos)
            result += r.output.substr(end);
        out += "[" + stamp + "] PROCESS_SERVICE_CHECK_RESULT;" + command_field(r.host) + ";" +
               command_field(r.service) + ";" + std::to_string(r.exit_status) + ";" + result_field(result) +
               "\n";
    }
    return out;
}

} // namespace dorv
