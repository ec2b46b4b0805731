// Figures of result texts and the warning limit.
#include "console/thresholds.h"

namespace dorv {

const check_figure* figure_rule_for(const std::string& check)
{
    const check_profile* row = find_profile(check);
    return row && row->figure.kind != figure_kind::none ? &row->figure : nullptr;
}

std::optional<long> parse_limit(const std::string& v)
{
    std::size_t i = !v.empty() && (v[0] == '-' || v[0] == '+') ? 1 : 0;
    if (i == v.size() || v.size() - i > 9 || v.find_first_not_of("0123456789", i) != std::string::npos)
        return std::nullopt;
    return std::stol(v);
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

} // namespace dorv
