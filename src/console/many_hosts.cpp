// Running the hosts of a list side by side, a process each.
#include "console/many_hosts.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#ifdef __linux__
#include <sys/prctl.h>
#endif

#include <cerrno>
#include <chrono>
#include <cstdlib>
#include <cstring>

namespace dorv {

namespace {

using clock_type = std::chrono::steady_clock;

struct running_host {
    host_report report;
    pid_t pid = -1;
    int out = -1; // the read end of its standard output
    clock_type::time_point started;
    int signals_sent = 0; // SIGTERM, then SIGKILL, once past the deadline and its margin
};

double since(clock_type::time_point t)
{
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

// Starts one host's process; false when it cannot be forked.
bool start_host(const host_entry& host, const std::function<int(const host_entry&)>& run_host,
                running_host& r)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return false;
    std::fflush(nullptr);
    pid_t pid = ::fork();
    if (pid < 0) {
        ::close(fds[0]);
        ::close(fds[1]);
        return false;
    }
    if (pid == 0) {
#ifdef __linux__
        // Ends with the run, whatever ends it; SIGTERM lets it end its own ssh first.
        ::prctl(PR_SET_PDEATHSIG, SIGTERM);
#endif
        ::close(fds[0]);
        ::dup2(fds[1], STDOUT_FILENO);
        ::close(fds[1]);
        int status = run_host(host);
        std::fflush(nullptr);
        ::_exit(status);
    }
    ::close(fds[1]);
    r.pid = pid;
    r.out = fds[0];
    r.started = clock_type::now();
    r.report.name = host.name;
    return true;
}

// Reads what is there of r's output; true once it has ended.
bool read_output(running_host& r)
{
    char buf[65536];
    ssize_t n = ::read(r.out, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return false;
    if (n > 0) {
        r.report.output.append(buf, static_cast<std::size_t>(n));
        return false;
    }
    ::close(r.out);
    r.out = -1;
    return true;
}

// Reaps r (killing it when it still runs: its output has ended, it must end too).
void finish_host(running_host& r)
{
    if (r.pid <= 0)
        return; // never started: status -1
    int st = 0;
    if (::waitpid(r.pid, &st, WNOHANG) == 0) {
        ::kill(r.pid, SIGKILL);
        while (::waitpid(r.pid, &st, 0) < 0 && errno == EINTR) {
        }
    }
    r.report.status = WIFEXITED(st) && r.signals_sent == 0 ? WEXITSTATUS(st) : -1;
    r.report.seconds = since(r.started);
}

void show_progress(std::FILE* err, std::size_t done, std::size_t total, std::size_t failed)
{
    std::fprintf(err, "\r%zu/%zu hosts done, %zu failed ", done, total, failed);
    std::fflush(err);
}

} // namespace

void run_hosts(const std::vector<host_entry>& hosts, const many_hosts_settings& settings,
               const std::function<int(const host_entry&)>& run_host,
               const std::function<void(const host_report&)>& on_done, std::FILE* err)
{
    const double margin = settings.deadline_seconds + 10;
    std::vector<running_host> running;
    std::size_t next = 0, done = 0, failed = 0;
    auto report = [&](running_host& r) {
        finish_host(r);
        failed += r.report.failed();
        ++done;
        on_done(r.report);
        if (settings.progress)
            show_progress(err, done, hosts.size(), failed);
    };
    while (next < hosts.size() || !running.empty()) {
        while (next < hosts.size() && running.size() < std::max<std::size_t>(settings.jobs, 1)) {
            running_host r;
            r.report.name = hosts[next].name;
            if (start_host(hosts[next++], run_host, r))
                running.push_back(std::move(r));
            else
                report(r);
        }
        std::vector<pollfd> fds;
        for (const auto& r : running)
            fds.push_back({r.out, POLLIN, 0});
        if (::poll(fds.data(), fds.size(), 200) < 0 && errno != EINTR)
            break;
        for (std::size_t i = running.size(); i-- > 0;) {
            running_host& r = running[i];
            bool ended = (fds[i].revents & (POLLIN | POLLHUP | POLLERR)) && read_output(r);
            // Past its own deadline and the margin: a host process that hangs is ended,
            // first so that it ends its ssh, then for good.
            if (!ended && since(r.started) > margin + 5.0 * r.signals_sent && r.signals_sent < 2)
                ::kill(r.pid, r.signals_sent++ == 0 ? SIGTERM : SIGKILL);
            if (ended) {
                report(r);
                running.erase(running.begin() + static_cast<std::ptrdiff_t>(i));
            }
        }
    }
    if (settings.progress)
        std::fputs("\r\033[K", err);
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
