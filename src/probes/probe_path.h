// The PATH that probe commands are looked up on.
#pragma once

#include <string>
#include <string_view>

namespace dorv {

// path without its empty and relative elements, which would make the shell look for a
// probe in the working directory; "/usr/bin:/bin:/usr/sbin:/sbin" when nothing is left
// (also for an absent PATH, given as null).
std::string probe_path(const char* path);

} // namespace dorv
