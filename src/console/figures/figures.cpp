// Figures of result texts, the limits the console judges and the figure's performance item.
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

namespace {

// The range on the scale of the check's limit (the load, or the free share) that the -w or
// -c value v alerts outside of. A plain number keeps the check's own sense: a load above it,
// a free share at or below it; the figures are whole numbers, so that is below it plus 1.
threshold_range limit_range(figure_kind kind, const limit_value& v)
{
    if (!v.plain)
        return v.range;
    double n = static_cast<double>(*v.plain);
    if (kind == figure_kind::load)
        return {std::nullopt, n, false};
    return {n + 1, std::nullopt, false};
}

// The same range on the figure's own scale: a free-share range of a used figure turned
// into a used-share range (a free share of 10 to 20 is a used share of 80 to 90).
threshold_range figure_range(figure_kind kind, threshold_range r)
{
    if (kind != figure_kind::used)
        return r;
    auto mirror = [](std::optional<double> x) { return x ? std::optional(100 - *x) : std::nullopt; };
    return {mirror(r.end), mirror(r.start), r.inside};
}

std::optional<threshold_range> range_of(figure_kind kind, const std::optional<std::string>& text)
{
    std::string why;
    std::optional<limit_value> v = text ? parse_limit_value(*text, why) : std::nullopt;
    return v ? std::optional(limit_range(kind, *v)) : std::nullopt;
}

} // namespace

bool judged_by_console(const std::string& critical)
{
    std::string why;
    std::optional<limit_value> v = parse_limit_value(critical, why);
    return !v || !v->plain;
}

std::string never_firing_limit(figure_kind kind)
{
    // Read by the agent as a whole number; no load is above the first, no free share at or
    // below the second.
    return kind == figure_kind::load ? "999999999" : "-999999999";
}

check_state judge_limits(const run_outcome& r, std::string& note)
{
    bool own_critical = r.critical && judged_by_console(*r.critical);
    if (r.state != check_state::up || (!r.warning && !own_critical))
        return r.state;
    const check_figure* rule = figure_rule_for(r.check);
    std::optional<figure> f = result_figure(r.check, r.text);
    if (!rule || !f) {
        note = "no figure in the result to judge the limits by";
        return check_state::unknown;
    }
    std::optional<threshold_range> warning = range_of(rule->kind, r.warning);
    std::optional<threshold_range> critical = range_of(rule->kind, r.critical);
    if ((r.warning && !warning) || (own_critical && !critical)) {
        note = "a limit that is no number or range";
        return check_state::unknown;
    }
    // On the limit's scale: a used share is judged by its free share.
    double v = static_cast<double>(rule->kind == figure_kind::used ? 100 - f->value : f->value);
    if (own_critical && alerts(*critical, v))
        return check_state::down;
    if (warning && alerts(*warning, v))
        return check_state::warning;
    return check_state::up;
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
    // Without -c the check's limit is its first argument, as it was sent to the agent.
    const std::optional<std::string> critical =
        r.critical ? r.critical : (r.args.pairs() > 0 ? std::optional(r.args.value(0)) : std::nullopt);
    for (auto [text, field] : {std::pair{&r.warning, &p.warn}, std::pair{&critical, &p.crit}})
        if (std::optional<threshold_range> range = range_of(rule->kind, *text))
            *field = range_text(figure_range(rule->kind, *range));
    p.min = "0";
    p.max = "100";
    return {p};
}

} // namespace dorv
