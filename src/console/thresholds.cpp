// Figures of result texts and the warning limit.
#include "console/thresholds.h"

namespace dorv {

namespace {

// The checks whose result text carries a figure. The CPU load is the user and system share
// of the processor time, a percentage; DiskSpace tells the used share of its disk, RAM and
// Swap the free share of their memory.
const figure_rule figure_rules[] = {
    {"CPU", "load", "cpu_load", 0, figure_kind::load},
    {"DiskSpace", "used", nullptr, 1, figure_kind::used},
    {"RAM", "free", "ram_free", 0, figure_kind::free},
    {"Swap", "free", "swap_free", 0, figure_kind::free},
};

}  // namespace

const figure_rule* figure_rule_for(const std::string& check)
{
    for (const auto& f : figure_rules)
        if (check == f.check)
            return &f;
    return nullptr;
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
    const figure_rule* rule = figure_rule_for(r.check);
    std::optional<figure> f = result_figure(r.check, r.text);
    if (!rule || !f) {
        note = "no figure in the result to judge the warning limit by";
        return check_state::unknown;
    }
    long w = *r.warning;
    bool warn = false;
    switch (rule->kind) {
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

}  // namespace dorv
