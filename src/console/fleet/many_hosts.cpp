// Running the hosts of a list side by side, a process each.
#include "console/fleet/many_hosts.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <sys/wait.h>

#include <algorithm>
#include <cerrno>
#include <chrono>
#include <memory>
#include <optional>

#include "base/child.h"

namespace dorv {

namespace {

using clock_type = std::chrono::steady_clock;

// Kept for the console's own use beside the hosts' pipes: standard streams, the pipe that
// tells of children's ends, the API's connection, and what libraries open.
constexpr std::size_t spare_descriptors = 16;

struct running_host {
    host_report report;
    child_process child;
    clock_type::time_point started;
    int signals_sent = 0; // SIGTERM, then SIGKILL, once past the deadline and its margin
};

double since(clock_type::time_point t)
{
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

// Starts one host's process: asked to end, it ends its own ssh first. Its report says why
// when it cannot be started.
std::unique_ptr<running_host> start_host(const host_entry& host, std::size_t index,
                                         const host_command& command)
{
    auto r = std::make_unique<running_host>();
    r->report.name = host.name;
    r->report.index = index;
    r->started = clock_type::now();
    child_setup setup;
    setup.argv = command(host);
    setup.env = inherited_environment();
    // In the console's process group, as ssh is in it for a single host.
    setup.own_group = false;
    setup.grace = std::chrono::seconds(5);
    if (!r->child.start(setup, r->report.start_error) && r->report.start_error.empty())
        r->report.start_error = "cannot start";
    return r;
}

// Reads what is there of r's output; true once it has ended.
bool read_output(running_host& r)
{
    char buf[65536];
    ssize_t n = ::read(r.child.output().get(), buf, sizeof buf);
    if (n < 0 && (errno == EINTR || errno == EAGAIN))
        return false;
    if (n > 0) {
        r.report.output.append(buf, static_cast<std::size_t>(n));
        return false;
    }
    r.child.output().reset();
    return true;
}

// Whether r has ended (and is reaped); past its own deadline and the margin a host
// process that hangs is ended, first so that it ends its ssh, then for good.
bool ended(running_host& r, double margin)
{
    if (!r.child.output() && r.child.try_reap())
        return true;
    if (since(r.started) <= margin + 5.0 * r.signals_sent)
        return false;
    if (r.signals_sent++ == 0) {
        r.child.ask_to_end();
        return false;
    }
    r.child.kill();
    return true;
}

void finish_report(running_host& r)
{
    std::optional<int> st = r.child.status();
    r.report.status = st && WIFEXITED(*st) && r.signals_sent == 0 ? WEXITSTATUS(*st) : -1;
    r.report.seconds = since(r.started);
}

void show_progress(std::FILE* err, std::size_t done, std::size_t total, std::size_t failed)
{
    std::fprintf(err, "\r%zu/%zu hosts done, %zu failed ", done, total, failed);
    std::fflush(err);
}

} // namespace

void run_hosts(const std::vector<host_entry>& hosts, const many_hosts_settings& settings,
               const host_command& command, const std::function<void(host_report&)>& on_done, std::FILE* err)
{
    end_children_on_signals();
    const double margin = settings.deadline_seconds + 10;
    const std::size_t jobs = std::max<std::size_t>(settings.jobs, 1);
    std::vector<std::unique_ptr<running_host>> running;
    std::size_t next = 0, done = 0, failed = 0;
    auto report = [&](host_report& r) {
        on_done(r);
        failed += r.failed();
        ++done;
        if (settings.progress)
            show_progress(err, done, hosts.size(), failed);
    };
    while (next < hosts.size() || !running.empty()) {
        while (next < hosts.size() && running.size() < jobs) {
            std::unique_ptr<running_host> r = start_host(hosts[next], next, command);
            ++next;
            if (r->child.started())
                running.push_back(std::move(r));
            else
                report(r->report);
        }
        std::vector<pollfd> fds;
        bool reaping = false; // a host whose output has ended, its process not yet reaped
        for (const auto& r : running) {
            fds.push_back({r->child.output() ? r->child.output().get() : -1, POLLIN, 0});
            reaping = reaping || !r->child.output();
        }
        if (::poll(fds.data(), fds.size(), reaping ? 10 : 200) < 0 && errno != EINTR)
            break;
        for (std::size_t i = running.size(); i-- > 0;) {
            running_host& r = *running[i];
            if (fds[i].revents & (POLLIN | POLLHUP | POLLERR))
                read_output(r);
            if (ended(r, margin)) {
                finish_report(r);
                report(r.report);
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    if (settings.progress)
        std::fputs("\r\033[K", err);
}

std::size_t jobs_within(std::size_t jobs, std::size_t free_descriptors)
{
    std::size_t most =
        free_descriptors > spare_descriptors + 1 ? free_descriptors - spare_descriptors - 1 : 1;
    return std::clamp<std::size_t>(jobs, 1, std::min<std::size_t>(most, max_running_children));
}

std::size_t free_descriptors()
{
    rlimit limit{};
    constexpr rlim_t counted = 1 << 16; // beyond it no run needs counting
    if (::getrlimit(RLIMIT_NOFILE, &limit) != 0 || limit.rlim_cur == RLIM_INFINITY ||
        limit.rlim_cur > counted)
        return counted;
    std::size_t open = 0;
    for (int fd = 0; fd < static_cast<int>(limit.rlim_cur); ++fd)
        open += ::fcntl(fd, F_GETFD) != -1;
    return static_cast<std::size_t>(limit.rlim_cur) - open;
}

std::string hosts_summary(const std::vector<host_report>& reports, double seconds)
{
    std::size_t failed = 0;
    std::string names;
    const host_report* slowest = nullptr;
    for (const auto& r : reports) {
        if (r.failed() && ++failed <= 5)
            names += (names.empty() ? "" : ", ") + r.name;
        if (!slowest || r.seconds > slowest->seconds)
            slowest = &r;
    }
    if (failed > 5)
        names += ", ...";
    char buf[128];
    std::string out = std::to_string(reports.size()) + " host" + (reports.size() == 1 ? "" : "s") + ": " +
                      std::to_string(reports.size() - failed) + " answered, " + std::to_string(failed) +
                      " failed";
    if (failed)
        out += " (" + names + ")";
    if (slowest) {
        std::snprintf(buf, sizeof buf, ", slowest %s %.1f s", slowest->name.c_str(), slowest->seconds);
        out += buf;
    }
    std::snprintf(buf, sizeof buf, "; %.1f s in all", seconds);
    return out + buf;
}

} // namespace dorv
