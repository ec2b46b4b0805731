// What the figure of a check's result text is, and how the console judges a warning limit
// against it. The agent judges CRITICAL with the check's own limit; the console only
// lowers an OK to WARNING. Pure: no I/O.
#pragma once

#include <optional>
#include <string>

#include "console/output.h"

namespace dorv {

// The share that a result's figure is, which sets the sense of its limits.
enum class figure_kind {
    load,  // a CPU load: alarm while above the limit
    used,  // a used share: alarm while the free share (100 - used) is at or below the limit
    free,  // a free share: alarm while at or below the limit
};

struct figure_rule {
    const char* check;
    const char* name;        // the figure's name in JSON: "load", "used", "free"
    const char* perf_label;  // its performance-data label; nullptr: the value of arg_label
    int arg_label;           // the argument whose value names it (the disk), when perf_label is nullptr
    figure_kind kind;
};

// The rule of a check whose result carries a figure; nullptr for the others (Processes).
const figure_rule* figure_rule_for(const std::string& check);

// The state of r once its warning limit is judged against the figure of its text: an up
// result whose figure passed the warning limit is a warning; every other state stays.
// An up result with a warning limit but no figure in its text is unknown, with note set.
check_state judge_warning(const run_outcome& r, std::string& note);

// A limit as the console takes it: a whole number, optionally signed, of at most nine
// digits. Nothing for any other text.
std::optional<long> parse_limit(const std::string& text);

// The limit as a threshold on the figure's own scale: the free-share limits of a used
// share become used shares (100 - limit); the others stay as they are.
long threshold_on_scale(figure_kind kind, long limit);

}  // namespace dorv
