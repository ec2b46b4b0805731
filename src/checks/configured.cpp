// Listing, describing and running the configured checks.
#include "checks/configured.h"

#include <unistd.h>

#include <algorithm>
#include <climits>
#include <map>

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

namespace {

// The outcome of gathering a list-from list: its values, or why there are none.
struct gathered_list {
    std::vector<std::string> values;
    std::string failure;
};

class configured_offer final : public offered_check {
  public:
    explicit configured_offer(configured_check c) : c_(std::move(c))
    {
        // Why it runs no program of its own, neither its command nor a list's: its first
        // problem, or a program that may not run.
        problem_ = !c_.problems.empty() ? std::optional<std::string>(c_.problems[0])
                                        : unsafe_path(c_.command[0][0].text, path_use::program);
    }

    const std::string& name() const override { return c_.name; }
    const std::string& description() const override { return c_.description; }

    std::optional<std::string> refusal() const override
    {
        if (!problem_)
            return std::nullopt;
        return c_.name + " does not run: " + *problem_ +
               (c_.problems.empty() ? "" : " (dorv --check-config tells every problem)");
    }

    void describe(param_array& descriptors, std::size_t budget) override
    {
        int n = 0;
        for (const auto& p : c_.params) {
            ++n;
            if (p.kind == param_kind::number) {
                param_number(descriptors, p.name, n, number_maxlength, p.usual);
                continue;
            }
            // A check with a problem may come from a file anyone could have written: its
            // lists are neither gathered nor shown.
            const gathered_list none;
            const gathered_list& list = problem_ ? none : values_of(p);
            if (!list.failure.empty())
                trace("%s: list %s left empty: %s\n", c_.name.c_str(), escaped(p.name).c_str(),
                      escaped(list.failure).c_str());
            param_combo(descriptors, p.name, n, list.values, budget);
        }
    }

    void run(const std::string& cmd, const param_array& args, param_array& reply) override
    {
        if (auto refused = refusal()) {
            plugin_error_reply(cmd, *refused, reply);
            return;
        }
        std::vector<std::string> values;
        if (auto refused = checked_values(args, values)) {
            trace("%s: %s\n", c_.name.c_str(), escaped(*refused).c_str());
            plugin_error_reply(cmd, *refused, reply);
            return;
        }
        plugin_run run = run_plugin(expand_command(c_.command, values), timeout_of(c_));
        plugin_reply(cmd, c_.name, run, reply);
    }

  private:
    configured_check c_;
    std::optional<std::string> problem_;
    std::map<std::string, gathered_list> gathered_; // by parameter name

    // The values of a list: its own, or the lines its program prints, gathered once.
    const gathered_list& values_of(const check_parameter& p)
    {
        auto [it, fresh] = gathered_.try_emplace(p.name);
        if (fresh) {
            if (p.kind == param_kind::list)
                it->second.values = p.values;
            else
                it->second.values = gathered_values(p, timeout_of(c_), it->second.failure);
        }
        return it->second;
    }

    // The check's values for its parameters, in their order, or the refusal that names the
    // first parameter whose value is missing or not one it takes.
    std::optional<std::string> checked_values(const param_array& args, std::vector<std::string>& values)
    {
        for (const auto& p : c_.params) {
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
                const gathered_list& list = values_of(p);
                if (!list.failure.empty())
                    return quoted_name + ": its list could not be gathered: " + list.failure;
                if (std::find(list.values.begin(), list.values.end(), *value) == list.values.end())
                    return quoted_name + " is not one of its list's values";
            }
            values.push_back(*value);
        }
        return std::nullopt;
    }
};

} // namespace

std::vector<std::unique_ptr<offered_check>> offer_configured(configured_checks all)
{
    std::vector<std::unique_ptr<offered_check>> offers;
    for (auto& c : all.checks)
        offers.push_back(std::make_unique<configured_offer>(std::move(c)));
    return offers;
}

} // namespace dorv
