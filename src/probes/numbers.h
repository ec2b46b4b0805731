// Reading numbers out of text.
#pragma once

#include <cstdint>
#include <string_view>
#include <vector>

namespace dorv {

// Collects the runs of the digits 0-9 of a line, in order, as numbers (a run above
// 2147483647 gives 2147483647), storing at most num_max. Returns how many the line holds;
// entries from there on keep what they held.
int parse_nums(std::string_view line, std::int32_t* num, int num_max);

// The same into a vector, which then holds exactly the line's numbers.
std::vector<std::int32_t> parse_nums(std::string_view line);

} // namespace dorv
