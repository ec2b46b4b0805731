// Listing, describing and running the configured checks.
#include "checks/configured.h"

#include <unistd.h>

#include <algorithm>
#include <climits>

#include "base/trace.h"
#include "checks/plugin_result.h"
#include "probes/command.h"
#include "probes/plugin_run.h"
#include "probes/safe_path.h"
#include "protocol/descriptors.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// The length a number field takes: an optional '-' and 18 digits.
constexpr const char* number_maxlength = "19";

std::string absolute(const std::string& path)
{
    if (!path.empty() && path[0] == '/')
        return path;
    char cwd[PATH_MAX];
    return ::getcwd(cwd, sizeof cwd) ? std::string(cwd) + "/" + path : path;
}

// A file that others than root may change could declare any program with any arguments:
// its path is judged before anything is read. A drop-in file that fails is not read; the
// configuration file, which holds the agent's own settings too, is read, and its checks
// get the problem.
void read_file(check_reader& reader, configured_checks& all, const std::string& path, bool dropin)
{
    std::optional<std::string> unsafe = unsafe_path(absolute(path), path_use::file);
    if (unsafe && dropin) {
        all.problems.push_back({path, 0, *unsafe + ": the file is not read"});
        return;
    }
    std::size_t first = reader.checks.size();
    reader.begin_file(path, dropin);
    config_read r = read_config(path, [&](const config_line& l) {
        reader.line(l);
        return true;
    });
    reader.end_file();
    if (dropin && r.status != config_read::read)
        all.problems.push_back({path, 0, "cannot read: " + r.error});
    if (!unsafe || r.status != config_read::read)
        return;
    all.problems.push_back({path, 0, *unsafe + ": its checks do not run"});
    for (std::size_t i = first; i < reader.checks.size(); ++i)
        reader.checks[i].problems.push_back(*unsafe);
}

int timeout_of(const configured_check& c)
{
    return c.timeout > 0 ? c.timeout : probe_timeout();
}

// The values of a list-from list: the non-empty lines its command prints, those that can
// travel in a packet. Nothing, with failure set, when the command did not run cleanly.
std::vector<std::string> gathered_values(const check_parameter& p, int timeout, std::string& failure)
{
    std::vector<std::string> values;
    std::vector<std::string> argv = expand_command(p.command, {});
    if (auto unsafe = unsafe_path(argv[0], path_use::program)) {
        failure = *unsafe;
        trace("%s\n", escaped(failure).c_str());
        return values;
    }
    plugin_run run = run_plugin(argv, timeout);
    if (run.outcome != plugin_run::exited || run.code != 0) {
        failure = run.outcome == plugin_run::exited
                      ? argv[0] + " ended with exit status " + std::to_string(run.code)
                      : run.cause;
        return values;
    }
    std::string_view out = run.output;
    while (!out.empty()) {
        std::size_t end = out.find('\n');
        if (end == std::string_view::npos && run.cut)
            break; // a line cut short is no value
        std::string_view line = out.substr(0, end);
        out.remove_prefix(end == std::string_view::npos ? out.size() : end + 1);
        // A line that begins with '-' would reach the plugin as an option.
        if (!line.empty() && line[0] != '-' && can_travel(line) && line.find('\0') == std::string_view::npos)
            values.emplace_back(line);
    }
    return values;
}

// The check's values for its parameters, in their order, or the refusal that names the
// first parameter whose value is missing or not one it takes.
std::optional<std::string> checked_values(const configured_check& c, const param_array& args,
                                          std::vector<std::string>& values)
{
    for (const auto& p : c.params) {
        const std::string* value = nullptr;
        for (int i = 0; i < args.pairs() && !value; ++i)
            if (args.key(i) == p.name)
                value = &args.value(i);
        std::string quoted_name = "Parameter '" + p.name + "'";
        if (!value)
            return quoted_name + " has no value";
        if (p.kind == param_kind::number) {
            if (!valid_number(*value))
                return quoted_name + " is not a number (an optional '-' and at most 18 digits)";
        } else {
            std::string failure;
            std::vector<std::string> listed =
                p.kind == param_kind::list ? p.values : gathered_values(p, timeout_of(c), failure);
            if (!failure.empty())
                return quoted_name + ": its list could not be gathered: " + failure;
            if (std::find(listed.begin(), listed.end(), *value) == listed.end())
                return quoted_name + " is not one of its list's values";
        }
        values.push_back(*value);
    }
    return std::nullopt;
}

} // namespace

configured_checks load_configured_checks(const std::string& config_path)
{
    configured_checks all;
    check_reader reader;
    read_file(reader, all, config_path, false);
    for (const auto& file : dropin_files(dropin_dir(config_path)))
        read_file(reader, all, file, true);
    all.checks = std::move(reader.checks);
    all.problems.insert(all.problems.begin(), reader.problems.begin(), reader.problems.end());
    return all;
}

const configured_check* find_configured(const configured_checks& all, const std::string& name)
{
    for (const auto& c : all.checks)
        if (c.name == name)
            return &c;
    return nullptr;
}

std::optional<std::string> configured_problem(const configured_check& c)
{
    if (!c.problems.empty())
        return c.problems[0];
    return unsafe_path(c.command[0][0].text, path_use::program);
}

std::string refusal_text(const configured_check& c, const std::string& problem)
{
    return c.name + " does not run: " + problem +
           (c.problems.empty() ? "" : " (dorv --check-config tells every problem)");
}

void describe_configured(const configured_check& c, param_array& descriptors, std::size_t budget)
{
    // A check with a problem may come from a file anyone could have written: its lists
    // are neither gathered nor shown.
    const bool runs = !configured_problem(c);
    int n = 0;
    for (const auto& p : c.params) {
        ++n;
        if (p.kind == param_kind::number) {
            param_number(descriptors, p.name, n, number_maxlength);
            continue;
        }
        std::string failure;
        std::vector<std::string> values;
        if (runs)
            values = p.kind == param_kind::list ? p.values : gathered_values(p, timeout_of(c), failure);
        if (!failure.empty())
            trace("%s: list %s left empty: %s\n", c.name.c_str(), escaped(p.name).c_str(),
                  escaped(failure).c_str());
        param_combo(descriptors, p.name, n, values, budget);
    }
}

void run_configured(const std::string& cmd, const configured_check& c, const param_array& args,
                    param_array& reply)
{
    if (auto problem = configured_problem(c)) {
        plugin_error_reply(cmd, refusal_text(c, *problem), reply);
        return;
    }
    std::vector<std::string> values;
    if (auto refused = checked_values(c, args, values)) {
        trace("%s: %s\n", c.name.c_str(), escaped(*refused).c_str());
        plugin_error_reply(cmd, *refused, reply);
        return;
    }
    plugin_run run = run_plugin(expand_command(c.command, values), timeout_of(c));
    plugin_reply(cmd, c.name, run, reply);
}

} // namespace dorv
