// Linux: the kernel's mount table of this process's mount namespace.
#if defined(__linux__)
#include <fstream>
#include <sstream>

#include "probes/mount_types.h"

namespace dorv {

std::map<std::string, std::string> mount_types()
{
    std::ifstream in("/proc/self/mounts");
    std::ostringstream text;
    if (!in || !(text << in.rdbuf()))
        return {};
    return parse_mount_table(text.str());
}

} // namespace dorv
#endif
