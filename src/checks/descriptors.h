// Parameter descriptors: the numbered keys by which a check describes its parameters.
#pragma once

#include <string>
#include <string_view>
#include <vector>

#include "protocol/param_array.h"

namespace dorv {

// Appends a number field: paramnameN, paramtypeN = "longinteger", maxlengthN.
void param_number(param_array& param, std::string_view name, int number, std::string_view maxlength);

// Appends a list combo numbered `number` whose values are `values` in order, and returns
// the number of values listed. Values are listed only while the packed list stays within
// param.max_packed; "valuecount" always counts exactly the values listed.
int param_combo(param_array& param, std::string_view name, int number,
                const std::vector<std::string>& values);

} // namespace dorv
