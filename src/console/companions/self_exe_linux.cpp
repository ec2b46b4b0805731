// Linux names the running executable in /proc/self/exe.
#if defined(__linux__)
#include <unistd.h>

#include <climits>

#include "console/companions/companion.h"

namespace dorv {

std::optional<std::string> running_executable()
{
    char buf[PATH_MAX];
    ssize_t n = ::readlink("/proc/self/exe", buf, sizeof buf - 1);
    if (n <= 0)
        return std::nullopt;
    return std::string(buf, static_cast<std::size_t>(n));
}

} // namespace dorv
#endif
