// Finding and ending adopted orphans.
#include "base/orphans.h"

#include <signal.h>
#include <sys/wait.h>

#include <cerrno>

namespace dorv {

namespace {

bool adopting = false;

// A process killed in one round may leave children of its own, adopted in turn; rounds
// beyond this many are taken for a process that forks without end, and given up.
constexpr int max_rounds = 32;

} // namespace

bool adopt_orphans()
{
    adopting = become_subreaper();
    return adopting;
}

void end_adopted_children(deadline_t deadline)
{
    if (!adopting)
        return;
    for (int round = 0; round < max_rounds; ++round) {
        std::vector<pid_t> orphans;
        for (pid_t pid : child_pids())
            if (!is_started_child(pid))
                orphans.push_back(pid);
        if (orphans.empty())
            return;
        // An unreaped child's number is not reused, and a group named by it is its own.
        for (pid_t pid : orphans) {
            if (::getpgid(pid) == pid)
                ::kill(-pid, SIGKILL);
            ::kill(pid, SIGKILL);
        }
        for (pid_t pid : orphans) {
            bool reaped = wait_for_exit(
                [pid] {
                    pid_t r = ::waitpid(pid, nullptr, WNOHANG);
                    return r == pid || (r < 0 && errno != EINTR);
                },
                deadline);
            if (!reaped)
                return;
        }
    }
}

} // namespace dorv
