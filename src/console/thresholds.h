// What the figure of a check's result text is, and how the console judges a warning limit
// against it. The agent judges CRITICAL with the check's own limit; the console only
// lowers an OK to WARNING. Pure: no I/O.
#pragma once

#include <optional>
#include <string>

#include "checks/catalog.h"
#include "console/output.h"

namespace dorv {

// The figure of a built-in check whose result carries one; nullptr for the others
// (Processes, and every check the catalog does not hold).
const check_figure* figure_rule_for(const std::string& check);

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

} // namespace dorv
