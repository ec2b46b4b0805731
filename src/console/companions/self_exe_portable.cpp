// Systems without a platform file of their own: nothing says where the executable is.
#if !defined(__linux__)
#include "console/companions/companion.h"

namespace dorv {

std::optional<std::string> running_executable()
{
    return std::nullopt;
}

} // namespace dorv
#endif
