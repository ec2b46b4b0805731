// Console runner for the end-to-end tests.
#include "e2e/console_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>

#include "e2e/agent_harness.h"
#include "support/fake_command.h"
#include "support/process.h"

namespace dorv_test {

std::string config_dir(const std::string& text)
{
    std::string dir = make_temp_dir();
    ::mkdir((dir + "/etc").c_str(), 0755);
    ::mkdir((dir + "/etc/dorv").c_str(), 0755);
    std::ofstream(dir + "/etc/dorv/dorv.ini") << "[agent]\nlog=" << dir << "/trace.log\n" << text;
    return dir;
}

int count_of(const std::string& text, const std::string& what)
{
    int n = 0;
    for (auto at = text.find(what); at != std::string::npos; at = text.find(what, at + what.size()))
        ++n;
    return n;
}

void fake_command(const std::string& dir, const std::string& name, const std::string& output,
                  const std::string& count_file)
{
    ::mkdir((dir + "/bin").c_str(), 0755);
    printing_command(dir + "/bin", name, output,
                     count_file.empty() ? "" : "echo run >>'" + count_file + "'\n");
}

local_agent::local_agent(const std::string& config) : home(config_dir(config))
{
    fake_command(home.dir(), "vmstat",
                 "procs -----------memory---------- ---swap-- -----io---- -system-- ------cpu-----\n"
                 " r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st\n"
                 " 1  0      0 22059276   7788 1509408    0    0   840  1429  310 1121 47 10 42  0  0\n"
                 " 0  0      0 22059276   7788 1509408    0    0     8     0  602  656  9  6 85  0  0\n");
}

console_result local_agent::run(std::vector<std::string> args, console_env env) const
{
    args.insert(args.begin(), {"--agent", agent});
    env.cwd = home.dir();
    env.path_prefix.push_back(home.path("bin"));
    if (!env.set.count("SSH_CLIENT"))
        env.unset.push_back("SSH_CLIENT");
    if (!env.set.count("XDG_CACHE_HOME"))
        env.set["XDG_CACHE_HOME"] = home.path("cache");
    return run_console(args, env);
}

std::string local_agent::trace() const
{
    return read_file(home.path("trace.log"));
}

namespace {

// The console's environment: the test's own as env changes it.
std::vector<std::string> console_environment(const console_env& env, const std::string& cache_dir)
{
    std::vector<std::string> texts = own_environment();
    for (const auto& name : env.unset)
        unset_variable(texts, name);
    for (const auto& [k, v] : env.set)
        set_variable(texts, k, v);
    // The console's parameter cache stays out of the home directory.
    if (!env.set.count("XDG_CACHE_HOME"))
        set_variable(texts, "XDG_CACHE_HOME", cache_dir);
    if (!env.path_prefix.empty())
        set_variable(texts, "PATH", prefixed_path(env.path_prefix));
    return texts;
}

// Reads the console's output and errors until both end, killing it at the deadline.
void collect(process& console, std::chrono::steady_clock::time_point deadline, console_result& r)
{
    pollfd fds[2] = {{console.fd(1), POLLIN, 0}, {console.fd(2), POLLIN, 0}};
    int open_fds = 2;
    while (open_fds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            console.signal(SIGKILL);
            break;
        }
        if (::poll(fds, 2, static_cast<int>(left.count())) <= 0)
            continue;
        for (int i = 0; i < 2; ++i) {
            if (fds[i].fd < 0 || !fds[i].revents)
                continue;
            char buf[65536];
            ssize_t n = ::read(fds[i].fd, buf, sizeof buf);
            if (n <= 0) {
                console.close_fd(i + 1);
                fds[i].fd = -1;
                --open_fds;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
}

} // namespace

console_result run_console(const std::vector<std::string>& args, const console_env& env)
{
    static const temp_dir cache_dir;
    launch how;
    how.argv = {DORV_CONSOLE};
    how.argv.insert(how.argv.end(), args.begin(), args.end());
    how.env = console_environment(env, cache_dir.dir());
    how.cwd = env.cwd;
    int devnull = ::open("/dev/null", O_RDONLY | O_CLOEXEC);
    how.stdio = {devnull, piped, piped};

    console_result r;
    auto start = std::chrono::steady_clock::now();
    {
        process console(how);
        if (devnull >= 0)
            ::close(devnull);
        collect(console, start + std::chrono::seconds(60), r);
        console.close_fd(1);
        console.close_fd(2);
        r.status = console.wait();
    }
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

} // namespace dorv_test
