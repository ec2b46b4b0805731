// Linux: a child subreaper adopts its descendants' orphans, and /proc lists its children.
#if defined(__linux__)
#include <dirent.h>
#include <sys/prctl.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <memory>
#include <string>

#include "base/orphans.h"

namespace dorv {

namespace {

// The children as the kernel lists them in /proc/self/task/TID/children (a kernel built
// with CONFIG_PROC_CHILDREN); false when it does not.
bool listed_children(std::vector<pid_t>& pids)
{
    std::ifstream in("/proc/self/task/" + std::to_string(::getpid()) + "/children");
    if (!in)
        return false;
    long pid;
    while (in >> pid)
        pids.push_back(static_cast<pid_t>(pid));
    return true;
}

// The parent of pid from /proc/PID/stat ("PID (NAME) STATE PPID ..."; NAME may hold ')').
pid_t parent_of(const std::string& pid)
{
    std::ifstream in("/proc/" + pid + "/stat");
    std::string stat((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    std::size_t close = stat.rfind(')');
    if (close == std::string::npos || close + 4 >= stat.size())
        return -1;
    return static_cast<pid_t>(std::strtol(stat.c_str() + close + 4, nullptr, 10));
}

} // namespace

bool become_subreaper()
{
    return ::prctl(PR_SET_CHILD_SUBREAPER, 1L, 0L, 0L, 0L) == 0;
}

std::vector<pid_t> child_pids()
{
    std::vector<pid_t> pids;
    if (listed_children(pids))
        return pids;
    std::unique_ptr<DIR, int (*)(DIR*)> proc(::opendir("/proc"), &::closedir);
    if (!proc)
        return pids;
    const pid_t self = ::getpid();
    while (const dirent* e = ::readdir(proc.get()))
        if (e->d_name[0] >= '1' && e->d_name[0] <= '9' && parent_of(e->d_name) == self)
            pids.push_back(static_cast<pid_t>(std::strtol(e->d_name, nullptr, 10)));
    return pids;
}

} // namespace dorv
#endif
