// Labels and thresholds of performance data.
#include "console/perfdata.h"

#include "console/text.h"
#include "console/thresholds.h"

namespace dorv {

std::string perf_labels::unique(const std::string& label)
{
    std::string l = label;
    for (int n = 2; !taken_.insert(l).second; ++n)
        l = label + "_" + std::to_string(n);
    return l;
}

std::string quote_label(const std::string& label)
{
    std::string out = "'";
    for (char c : plugin_text(label)) {
        if (c == '\'')
            out += "''";
        else if (c == '=')
            out += '_';
        else
            out += c;
    }
    return out + "'";
}

std::vector<perf_value> figure_perf(const run_outcome& r)
{
    if (r.state == check_state::unknown)
        return {};
    const check_figure* rule = figure_rule_for(r.check);
    std::optional<figure> f = result_figure(r.check, r.text);
    if (!rule || !f)
        return {};
    perf_value p;
    if (rule->perf_label)
        p.label = rule->perf_label;
    else if (rule->arg_label < r.args.pairs())
        p.label = r.args.value(rule->arg_label);
    if (p.label.empty())
        p.label = r.check;
    p.value = std::to_string(f->value);
    p.unit = f->unit;
    if (r.warning)
        p.warn = std::to_string(threshold_on_scale(rule->kind, *r.warning));
    // The check's limit is its first argument, sent to the agent that judges it.
    if (r.args.pairs() > 0)
        if (auto limit = parse_limit(r.args.value(0)))
            p.crit = std::to_string(threshold_on_scale(rule->kind, *limit));
    p.min = "0";
    p.max = "100";
    return {p};
}

std::string perfdata(const run_outcome& r, perf_labels& labels)
{
    std::string out;
    for (const perf_value& p : r.perf)
        out += (out.empty() ? "" : " ") + quote_label(labels.unique(p.label)) + "=" + p.value + p.unit + ";" +
               p.warn + ";" + p.crit + ";" + p.min + ";" + p.max;
    return out;
}

} // namespace dorv
