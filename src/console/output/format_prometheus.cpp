// Metrics in Prometheus' text exposition format, printed at the end of the run: whether
// the agent answered, how long the run took, each check's state, the figures of the
// built-in checks as ratios, and a configured check's performance data in base units. A
// figure the agent did not measure is left out, never written as 0. Lists and
// descriptions become comment lines, so that the output stays one valid exposition.
#include <chrono>
#include <cstdlib>

#include "console/figures/figures.h"
#include "console/output/format.h"
#include "console/output/format_human.h"
#include "console/replies/agent_replies.h"
#include "console/text/text.h"
#include "metrics/dorv_families.h"

namespace dorv {

namespace {

// The family of each built-in check's figure and the label that names its item.
struct builtin_figure {
    const char* check;
    const metric_family* family;
    const char* item_label; // nullptr: the check has one figure per host
};

const builtin_figure builtin_figures[] = {
    {check_catalog[catalog_cpu].name, &families::cpu_load, nullptr},
    {check_catalog[catalog_diskspace].name, &families::filesystem_free, "mountpoint"},
    {check_catalog[catalog_ram].name, &families::memory_free, nullptr},
    {check_catalog[catalog_swap].name, &families::swap_free, nullptr},
    {check_catalog[catalog_processes].name, &families::process_running, "name"},
};

// A unit of measure of performance data and how a value becomes its base unit: times
// the factor, then divided by the divisor (a division keeps 12ms as 0.012 exactly).
struct unit_rule {
    const char* unit;
    double factor;
    double divisor;
};

const unit_rule units[] = {
    {"", 1, 1},
    {"s", 1, 1},
    {"ms", 1, 1e3},
    {"us", 1, 1e6},
    {"ns", 1, 1e9},
    {"%", 1, 100},
    {"B", 1, 1},
    {"KB", 1024.0, 1},
    {"MB", 1048576.0, 1},
    {"GB", 1073741824.0, 1},
    {"TB", 1099511627776.0, 1},
    {"c", 1, 1},
};

// text as a number when the whole of it is one.
std::optional<double> number(const std::string& text)
{
    if (text.empty())
        return std::nullopt;
    char* end = nullptr;
    double v = std::strtod(text.c_str(), &end);
    return *end == '\0' ? std::optional<double>(v) : std::nullopt;
}

// What a run is about beyond its check: the last value that is not a whole number (the
// mount point, the process name), "" when there is none.
std::string item_of(const param_array& args)
{
    std::string item;
    for (int i = 0; i < args.pairs(); ++i)
        if (!parse_limit(args.value(i)))
            item = args.value(i);
    return item;
}

class prometheus_output : public stream_output {
  public:
    explicit prometheus_output(const output_setup& setup)
        : stream_output(setup), start_(std::chrono::steady_clock::now())
    {
        if (setup.host)
            host_ = {{"host", valid_utf8(*setup.host)}};
    }

    void list(const std::vector<check_info>& offered) override { e_.comment(human_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        e_.comment(human_describe(check, params));
    }
    void result(const run_outcome& r) override { runs_.push_back(r); }
    void error(const command_error& e) override
    {
        complain(human_text(e.message));
        lost_ = lost_ || e.session_lost;
        failed_.push_back(e);
    }
    void not_run(const command_error& e) override
    {
        lost_ = true;
        failed_.push_back(e);
    }
    void skipped(const std::string& check, const std::string& why) override { complain_skipped(check, why); }
    void finish() override
    {
        double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start_).count();
        e_.add(families::up, host_, lost_ ? 0 : 1);
        e_.add(families::duration, host_, seconds);
        for (const run_outcome& r : runs_)
            add_state(r.check, item_of(r.args), state_exit(r.state));
        for (const command_error& f : failed_)
            if (!f.check.empty())
                add_state(f.check, failed_item(f), exit_unknown);
        for (const run_outcome& r : runs_) {
            add_figure(r);
            add_perfdata(r);
        }
        print(e_.text());
    }

  private:
    metric_labels labels(std::initializer_list<std::pair<std::string, std::string>> own) const
    {
        metric_labels out = host_;
        for (const auto& [name, value] : own)
            out.emplace_back(name, valid_utf8(value));
        return out;
    }

    // The item of a command that failed, from its service name ("DiskSpace /data").
    static std::string failed_item(const command_error& f)
    {
        const std::string prefix = f.check + " ";
        return f.service.rfind(prefix, 0) == 0 ? f.service.substr(prefix.size()) : "";
    }

    void add_state(const std::string& check, const std::string& item, int state)
    {
        e_.add(families::check_state, labels({{"check", check}, {"item", item}}), state);
    }

    // The figure of a built-in check's text; nothing for a result the agent did not measure.
    void add_figure(const run_outcome& r)
    {
        if (r.state == check_state::unknown)
            return;
        for (const builtin_figure& b : builtin_figures) {
            if (r.check != b.check)
                continue;
            metric_labels l = b.item_label ? labels({{b.item_label, item_of(r.args)}}) : host_;
            const check_profile* profile = find_profile(r.check);
            if (profile->figure.kind == figure_kind::none) {
                e_.add(*b.family, l, r.state == check_state::down ? 0 : 1);
                return;
            }
            std::optional<figure> f = result_figure(r.check, r.text);
            if (!f)
                return;
            // Divided last, so that 83 % used is 0.17 free exactly.
            long free_or_load = profile->figure.kind == figure_kind::used ? 100 - f->value : f->value;
            e_.add(*b.family, l, static_cast<double>(free_or_load) / 100);
        }
    }

    // A configured check's performance data: one series per item, its limits where they
    // are plain numbers (a range cannot say in one figure which side alarms).
    void add_perfdata(const run_outcome& r)
    {
        for (const perf_value& p : r.perf) {
            if (p.written.empty() || p.label.empty())
                continue; // a figure of the console's own, or an item it could not read
            const unit_rule* unit = nullptr;
            for (const unit_rule& u : units)
                if (p.unit == u.unit)
                    unit = &u;
            // A unit of another kind stays as it is.
            auto base = [unit](double v) { return unit ? v * unit->factor / unit->divisor : v; };
            metric_labels l = labels({{"check", r.check}, {"item", item_of(r.args)}, {"label", p.label}});
            if (std::optional<double> v = number(p.value))
                e_.add(p.unit == "c" ? families::plugin_counter : families::plugin_value, l, base(*v));
            if (std::optional<double> w = number(p.warn))
                e_.add(families::plugin_warning, l, base(*w));
            if (std::optional<double> c = number(p.crit))
                e_.add(families::plugin_critical, l, base(*c));
        }
    }

    std::chrono::steady_clock::time_point start_;
    metric_labels host_;
    exposition e_;
    std::vector<run_outcome> runs_;
    std::vector<command_error> failed_;
    bool lost_ = false;
};

} // namespace

std::unique_ptr<console_output> make_prometheus_output(const output_setup& setup)
{
    return std::make_unique<prometheus_output>(setup);
}

} // namespace dorv
