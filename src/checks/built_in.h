// The built-in checks: the catalog's rows with their descriptor builders and runners.
#pragma once

#include <cstddef>
#include <memory>
#include <string>

#include "checks/offered_check.h"
#include "protocol/param_array.h"

namespace dorv {

// Descriptor builder: appends the check's parameter descriptors to an empty list, keeping
// its packed form within budget characters, and returns the number of strings in it.
using params_fn = int (*)(param_array& param, std::size_t budget);

// Runner: on a run sets status (0 down, anything else up) and writes a one-line text into
// result; when the arguments are not what it expects it touches neither.
using run_fn = void (*)(const param_array& arg, int& status, std::string& result);

struct check_t {
    const char* name;
    const char* desc;
    params_fn params;
    run_fn run_check;
};

// The checks in the order the console numbers them, then a row of nulls.
extern const check_t checks[];

// The check of a row of the table as an offered check.
std::unique_ptr<offered_check> built_in_check(const check_t& row);

} // namespace dorv
