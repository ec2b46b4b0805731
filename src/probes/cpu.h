// CPU load check: user + system share of the last sample of "vmstat 1 2".
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include "probes/command.h"
#include "protocol/descriptors.h"

namespace dorv {

// Columns to count back from the end of a sample line to reach "us", chosen by how the
// column header ends: 3 by default, 4 after "wa", 5 after "wa" and three more characters,
// 6 after "gu".
int vmstat_offset(std::string_view header);

// The load of vmstat's output: the header is its second line, the sample its fourth (or
// the last line printed when there are fewer). Nothing when the sample line holds too few
// numbers for the header's layout; why then says what was wrong ("printed nothing", ...).
std::optional<int> parse_vmstat(line_source& lines, std::string* why = nullptr);

int params_cpu(param_array& param, std::size_t budget = unbounded);
void run_cpu(const param_array& arg, int& status, std::string& result);

} // namespace dorv
