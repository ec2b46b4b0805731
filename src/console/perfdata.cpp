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

std::string perfdata(const run_outcome& r, perf_labels& labels)
{
    if (r.state == check_state::unknown)
        return "";
    const check_figure* rule = figure_rule_for(r.check);
    std::optional<figure> f = result_figure(r.check, r.text);
    if (!rule || !f)
        return "";
    std::string label;
    if (rule->perf_label)
        label = rule->perf_label;
    else if (rule->arg_label < r.args.pairs())
        label = r.args.value(rule->arg_label);
    label = labels.unique(label.empty() ? r.check : label);

    std::string warn = r.warning ? std::to_string(threshold_on_scale(rule->kind, *r.warning)) : "";
    // The check's limit is its first argument, sent to the agent that judges it.
    std::string crit;
    if (r.args.pairs() > 0)
        if (auto limit = parse_limit(r.args.value(0)))
            crit = std::to_string(threshold_on_scale(rule->kind, *limit));
    return quote_label(label) + "=" + std::to_string(f->value) + f->unit + ";" + warn + ";" + crit + ";0;100";
}

} // namespace dorv
