// Systems without a platform file of their own: nothing is adopted, nothing is listed; a
// process that leaves a plugin's process group keeps running.
#if !defined(__linux__)
#include "base/orphans.h"

namespace dorv {

bool become_subreaper()
{
    return false;
}

std::vector<pid_t> child_pids()
{
    return {};
}

} // namespace dorv
#endif
