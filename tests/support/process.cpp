// Starting, waiting for and ending the tests' own child processes.
#include "support/process.h"

#include <fcntl.h>
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <fstream>
#include <stdexcept>
#include <thread>

#include "base/child.h"
#include "support/fixture.h"

namespace dorv_test {

namespace {

// In the child: takes its descriptors 0, 1 and 2, its directory and the hook, then becomes
// the program.
[[noreturn]] void exec_child(const launch& how, const std::array<int, 3>& given, char* const* argv,
                             char* const* envp)
{
    for (int n = 0; n < 3; ++n)
        if (given[static_cast<std::size_t>(n)] >= 0)
            ::dup2(given[static_cast<std::size_t>(n)], n);
    if (!how.cwd.empty() && ::chdir(how.cwd.c_str()) != 0)
        ::_exit(126);
    if (how.in_child)
        how.in_child();
    const char* program = how.program.empty() ? argv[0] : how.program.c_str();
    if (envp)
        ::execve(program, argv, envp);
    else
        ::execv(program, argv);
    ::_exit(127);
}

} // namespace

process::process(const launch& how)
{
    std::vector<std::string> args = how.argv, env = how.env.value_or(std::vector<std::string>{});
    std::vector<char*> argv = dorv::exec_pointers(args), envp = dorv::exec_pointers(env);
    // What the child gets as descriptors 0, 1 and 2; the child's end of a pipe is closed
    // here once the child has it.
    std::array<int, 3> given = how.stdio, child_ends = {-1, -1, -1};
    bool pipes_made = true;
    for (std::size_t n = 0; n < 3 && pipes_made; ++n) {
        int p[2];
        if (how.stdio[n] != piped)
            continue;
        pipes_made = ::pipe2(p, O_CLOEXEC) == 0;
        if (pipes_made) {
            given[n] = child_ends[n] = n == 0 ? p[0] : p[1];
            fds_[n] = n == 0 ? p[1] : p[0];
        }
    }
    // The child holds the write end of this pipe until its exec closes it, so that the
    // constructor returns once the program runs (or the child has ended).
    int exec_pipe[2] = {-1, -1};
    pipes_made = pipes_made && ::pipe2(exec_pipe, O_CLOEXEC) == 0;
    if (pipes_made)
        pid_ = ::fork();
    if (pid_ == 0)
        exec_child(how, given, argv.data(), how.env ? envp.data() : nullptr);
    for (int end : child_ends)
        if (end >= 0)
            ::close(end);
    if (exec_pipe[1] >= 0) {
        ::close(exec_pipe[1]);
        char b;
        while (pid_ > 0 && ::read(exec_pipe[0], &b, 1) < 0 && errno == EINTR) {
        }
        ::close(exec_pipe[0]);
    }
    if (pid_ < 0) {
        for (int n = 0; n < 3; ++n)
            close_fd(n);
        throw std::runtime_error("cannot start " + how.argv.at(0));
    }
}

process::~process()
{
    for (int n = 0; n < 3; ++n)
        close_fd(n);
    if (!status_)
        stop(SIGKILL);
}

void process::close_fd(int n)
{
    int& fd = fds_[static_cast<std::size_t>(n)];
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

bool process::ended()
{
    int st = 0;
    if (!status_ && ::waitpid(pid_, &st, WNOHANG) == pid_)
        status_ = exit_status(st);
    return status_.has_value();
}

int process::wait()
{
    if (!status_) {
        int st = 0;
        ::waitpid(pid_, &st, 0);
        status_ = exit_status(st);
    }
    return *status_;
}

int process::wait_for(std::chrono::milliseconds timeout)
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (!ended()) {
        if (std::chrono::steady_clock::now() > deadline)
            return stop(SIGKILL);
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return *status_;
}

void process::signal(int sig) const
{
    if (!status_)
        ::kill(pid_, sig);
}

int process::stop(int sig)
{
    signal(sig);
    return wait();
}

std::vector<std::string> own_environment()
{
    std::vector<std::string> env;
    for (char** e = environ; *e; ++e)
        env.emplace_back(*e);
    return env;
}

void set_variable(std::vector<std::string>& env, const std::string& name, const std::string& value)
{
    for (auto& entry : env)
        if (entry.starts_with(name + "=")) {
            entry = name + "=" + value;
            return;
        }
    env.push_back(name + "=" + value);
}

void unset_variable(std::vector<std::string>& env, const std::string& name)
{
    std::erase_if(env, [&](const std::string& entry) { return entry.starts_with(name + "="); });
}

int exit_status(int wait_status)
{
    return WIFEXITED(wait_status) ? WEXITSTATUS(wait_status) : -WTERMSIG(wait_status);
}

bool ends_soon(const std::string& pid_text, std::chrono::milliseconds within)
{
    // A pid as a file holds it, with its line end; no pid at all is nothing that ended.
    const std::string pid = pid_text.substr(0, pid_text.find_first_not_of("0123456789"));
    if (pid.empty())
        return false;
    for (auto waited = std::chrono::milliseconds(0); waited < within;
         waited += std::chrono::milliseconds(5)) {
        std::string stat = read_file("/proc/" + pid + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat[close + 2] == 'Z')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

bool ends_soon(pid_t pid, std::chrono::milliseconds within)
{
    return ends_soon(std::to_string(pid), within);
}

bool shows_argv(pid_t pid, const std::vector<std::string>& argv, std::chrono::milliseconds within)
{
    std::string want;
    for (const std::string& a : argv)
        want += a + '\0';
    auto until = std::chrono::steady_clock::now() + within;
    do {
        if (read_file("/proc/" + std::to_string(pid) + "/cmdline") == want)
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    } while (std::chrono::steady_clock::now() < until);
    return false;
}

long peak_rss_kb(pid_t pid)
{
    std::ifstream status("/proc/" + std::to_string(pid) + "/status");
    for (std::string line; std::getline(status, line);)
        if (line.rfind("VmHWM:", 0) == 0)
            return std::atol(line.c_str() + 6);
    return -1;
}

} // namespace dorv_test
