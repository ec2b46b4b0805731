// The layout of a session identifier as the tests check it, apart from the code that
// makes one: 8-4-4-4-12 upper-case hexadecimal digits.
#pragma once

#include <string>

namespace dorv_test {

// True when id is 36 characters: upper-case hex digits with '-' at 8, 13, 18 and 23.
bool has_id_layout(const std::string& id);

} // namespace dorv_test
