// Console runner for the end-to-end tests.
#include "e2e/console_harness.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <stdexcept>

#include "e2e/agent_harness.h"

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

scratch::scratch(std::string d) : dir(std::move(d)) {}
scratch::scratch() : dir(make_temp_dir()) {}
scratch::~scratch()
{
    std::string cmd = "rm -rf '" + dir + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
}

void fake_command(const std::string& dir, const std::string& name, const std::string& output,
                  const std::string& count_file)
{
    ::mkdir((dir + "/bin").c_str(), 0755);
    std::ofstream(dir + "/bin/" + name + ".out") << output;
    write_script(dir + "/bin/" + name, (count_file.empty() ? "" : "echo run >>'" + count_file + "'\n") +
                                           "cat '" + dir + "/bin/" + name + ".out'\n");
}

local_agent::local_agent(const std::string& config) : home(config_dir(config))
{
    fake_command(home.dir, "vmstat",
                 "procs -----------memory---------- ---swap-- -----io---- -system-- ------cpu-----\n"
                 " r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st\n"
                 " 1  0      0 22059276   7788 1509408    0    0   840  1429  310 1121 47 10 42  0  0\n"
                 " 0  0      0 22059276   7788 1509408    0    0     8     0  602  656  9  6 85  0  0\n");
}

console_result local_agent::run(std::vector<std::string> args, console_env env) const
{
    args.insert(args.begin(), {"--agent", agent});
    env.cwd = home.dir;
    env.path_prefix.push_back(home.dir + "/bin");
    if (!env.set.count("SSH_CLIENT"))
        env.unset.push_back("SSH_CLIENT");
    if (!env.set.count("XDG_CACHE_HOME"))
        env.set["XDG_CACHE_HOME"] = home.dir + "/cache";
    return run_console(args, env);
}

std::string local_agent::trace() const
{
    return read_file(home.dir + "/trace.log");
}

console_result run_console(const std::vector<std::string>& args, const console_env& env)
{
    int out[2], err[2];
    if (::pipe2(out, O_CLOEXEC) != 0 || ::pipe2(err, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");
    std::vector<std::string> argv_texts = {DORV_CONSOLE};
    argv_texts.insert(argv_texts.end(), args.begin(), args.end());
    std::vector<char*> argv;
    for (auto& a : argv_texts)
        argv.push_back(a.data());
    argv.push_back(nullptr);

    static const scratch cache_dir;
    auto start = std::chrono::steady_clock::now();
    pid_t pid = ::fork();
    if (pid == 0) {
        ::dup2(out[1], 1);
        ::dup2(err[1], 2);
        int devnull = ::open("/dev/null", O_RDONLY);
        ::dup2(devnull, 0);
        if (!env.cwd.empty() && ::chdir(env.cwd.c_str()) != 0)
            ::_exit(126);
        for (const auto& name : env.unset)
            ::unsetenv(name.c_str());
        for (const auto& [k, v] : env.set)
            ::setenv(k.c_str(), v.c_str(), 1);
        // The console's parameter cache stays out of the home directory.
        if (!env.set.count("XDG_CACHE_HOME"))
            ::setenv("XDG_CACHE_HOME", cache_dir.dir.c_str(), 1);
        if (!env.path_prefix.empty()) {
            std::string path;
            for (const auto& p : env.path_prefix)
                path += p + ":";
            const char* old = std::getenv("PATH");
            ::setenv("PATH", (path + (old ? old : "/usr/bin:/bin")).c_str(), 1);
        }
        ::execv(argv[0], argv.data());
        ::_exit(127);
    }
    ::close(out[1]);
    ::close(err[1]);

    console_result r;
    auto deadline = start + std::chrono::seconds(60);
    pollfd fds[2] = {{out[0], POLLIN, 0}, {err[0], POLLIN, 0}};
    int open_fds = 2;
    while (open_fds > 0) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0) {
            ::kill(pid, SIGKILL);
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
                ::close(fds[i].fd);
                fds[i].fd = -1;
                --open_fds;
            } else {
                (i == 0 ? r.out : r.err).append(buf, static_cast<std::size_t>(n));
            }
        }
    }
    for (auto& f : fds)
        if (f.fd >= 0)
            ::close(f.fd);
    int st = 0;
    ::waitpid(pid, &st, 0);
    r.status = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
    r.seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    return r;
}

} // namespace dorv_test
