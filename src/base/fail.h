// The helper of the error convention that a function which can fail returns false (or no
// value) and writes why into a std::string& error argument: "return fail(error, why);".
#pragma once

#include <string>
#include <utility>

namespace dorv {

inline bool fail(std::string& error, std::string why)
{
    error = std::move(why);
    return false;
}

} // namespace dorv
