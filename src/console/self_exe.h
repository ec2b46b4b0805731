// The running program's own executable, as the operating system names it. Each platform
// that can tell has a file of its own (self_exe_<platform>.cpp); elsewhere the portable
// file answers that it cannot, and the caller falls back on argv[0].
#pragma once

#include <optional>
#include <string>

namespace dorv {

// The absolute path of the running executable, or nothing when the system does not say.
std::optional<std::string> running_executable();

} // namespace dorv
