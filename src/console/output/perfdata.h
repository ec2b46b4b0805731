// Performance data in the form monitoring schedulers read:
// 'label'=value[UOM];warn;crit;min;max, with the thresholds on the figure's own scale.
// Pure: no I/O.
#pragma once

#include <set>
#include <string>
#include <string_view>
#include <vector>

#include "console/results/run_result.h"

namespace dorv {

// The labels given out within one invocation, so that no two figures share a graph: a
// label seen before gets "_2", "_3" ... appended.
class perf_labels {
  public:
    std::string unique(const std::string& label);

  private:
    std::set<std::string> taken_;
};

// A label in single quotes, a quote in it doubled; '=' (which would end it) and what
// plugin_text replaces become '_'.
std::string quote_label(const std::string& label);

// The items of a plugin's performance data, separated by blanks, as the monitoring plugin
// guidelines write them: a label (in single quotes when it holds blanks, a quote in it
// doubled), '=', a value ("U" for none) with its unit, then up to four ';'-separated
// thresholds and bounds. An item that does not read so is kept as it is written, without
// a label.
std::vector<perf_value> parse_perfdata(std::string_view text);

// The performance data items of one run, each label made unique among labels. An item as
// the agent wrote it stays as it is unless its label had to change.
std::vector<std::string> perf_items(const run_outcome& r, perf_labels& labels);
// The same items as written after the '|', joined by blanks; "" when there are none.
std::string perfdata(const run_outcome& r, perf_labels& labels);

} // namespace dorv
