// Figures of result texts, the warning limit and the figure's performance item.
#include "console/figures/figures.h"

#include "base/text_helpers.h"
#include "console/replies/agent_replies.h"

namespace dorv {

namespace {

// Reads the number starting at i (an optional '-' then digits); sets end past it.
long number_at(const std::string& t, std::size_t i, std::size_t& end)
{
    bool neg = t[i] == '-';
    end = neg ? i + 1 : i;
    long v = 0;
    for (; end < t.size() && is_digit(t[end]) && v < 1000000000L; ++end)
        v = v * 10 + (t[end] - '0');
    return neg ? -v : v;
}

} // namespace

std::optional<figure> result_figure(const std::string& check, const std::string& text)
{
    const check_figure* known = figure_rule_for(check);
    if (!known)
        return std::nullopt;
    const std::string label = known->label;
    std::optional<figure> first_alone;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool starts = is_digit(text[i]) || (text[i] == '-' && i + 1 < text.size() && is_digit(text[i + 1]));
        if (!starts || (i > 0 && (is_digit(text[i - 1]) || text[i - 1] == '-')))
            continue;
        std::size_t end = 0;
        long v = number_at(text, i, end);
        if (end < text.size() && text[end] == '%')
            return figure{label, v, "%"};
        bool alone = (i == 0 || text[i - 1] == ' ') && (end == text.size() || text[end] == ' ');
        if (alone && !first_alone)
            first_alone = figure{label, v, "%"};
        i = end - 1;
    }
    return first_alone;
}

const check_figure* figure_rule_for(const std::string& check)
{
    const check_profile* row = find_profile(check);
    return row && row->figure.kind != figure_kind::none ? &row->figure : nullptr;
}

long threshold_on_scale(figure_kind kind, long limit)
{
    return kind == figure_kind::used ? 100 - limit : limit;
}

check_state judge_warning(const run_outcome& r, std::string& note)
{
    if (r.state != check_state::up || !r.warning)
        return r.state;
    const check_figure* rule = figure_rule_for(r.check);
    std::optional<figure> f = result_figure(r.check, r.text);
    if (!rule || !f) {
        note = "no figure in the result to judge the warning limit by";
        return check_state::unknown;
    }
    long w = *r.warning;
    bool warn = false;
    switch (rule->kind) {
    case figure_kind::none:
        break;
    case figure_kind::load:
        warn = f->value > w;
        break;
    case figure_kind::used:
        warn = 100 - f->value <= w;
        break;
    case figure_kind::free:
        warn = f->value <= w;
        break;
    }
    return warn ? check_state::warning : check_state::up;
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

} // namespace dorv
