// Running one probe's console.
#include "exporter/probe_run.h"

#include <unistd.h>

#include <cerrno>

namespace dorv {

probe_run run_probe(const std::vector<std::string>& argv, deadline_t deadline, std::size_t max_bytes)
{
    probe_run r;
    child_setup setup;
    setup.argv = argv;
    setup.env = inherited_environment();
    // The console ends its agent session (and ssh) on SIGTERM before it goes.
    setup.grace = std::chrono::milliseconds(100);
    child_process child;
    if (!child.start(setup, r.error))
        return r;
    char buf[16384];
    for (;;) {
        if (child_process::wait_readable(child.output().get(), deadline) != wait_result::ready)
            break; // the deadline: the child goes with its group below
        ssize_t n = ::read(child.output().get(), buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0) {
            r.complete = r.output.size() <= max_bytes;
            break;
        }
        r.output.append(buf, static_cast<std::size_t>(n));
        if (r.output.size() > max_bytes)
            break; // more than any run gives: not taken as an answer
    }
    // Its output has ended: it is ending. Waited for briefly, as the wake-up of its end
    // may go to another probe's thread; then it is ended.
    if (r.complete)
        child.wait_exit(
            std::min(deadline, std::chrono::steady_clock::now() + std::chrono::milliseconds(200)));
    child.kill();
    return r;
}

} // namespace dorv
