// The private sshd of the console's SSH tests.
#include "e2e/ssh_harness.h"

#include <arpa/inet.h>
#include <dirent.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <signal.h>
#include <sys/prctl.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <thread>

#include "support/fixture.h"

namespace dorv_test {

int free_port()
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    socklen_t len = sizeof a;
    if (::bind(s, reinterpret_cast<sockaddr*>(&a), sizeof a) != 0 ||
        ::getsockname(s, reinterpret_cast<sockaddr*>(&a), &len) != 0) {
        ::close(s);
        return -1;
    }
    ::close(s);
    return ntohs(a.sin_port);
}

namespace {

bool accepts(int port)
{
    int s = ::socket(AF_INET, SOCK_STREAM, 0);
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<std::uint16_t>(port));
    bool ok = ::connect(s, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0;
    ::close(s);
    return ok;
}

} // namespace

std::string test_sshd::unavailable()
{
    if (::geteuid() != 0)
        return "the SSH tests need root: sshd runs in a private mount namespace (unshare -m)";
    if (::access("/usr/sbin/sshd", X_OK) != 0)
        return "openssh-server is not installed (scripts/test.sh installs it as root)";
    if (::access("/usr/bin/unshare", X_OK) != 0 && ::access("/bin/unshare", X_OK) != 0)
        return "unshare (util-linux) is missing";
    return "";
}

test_sshd::test_sshd(const std::string& config, const std::string& forced, const std::string& sshd_lines)
{
    ::mkdir(dir_.path("run").c_str(), 0700);
    ::mkdir(dir_.path("etc-dorv").c_str(), 0755);
    std::ofstream(dir_.path("etc-dorv/dorv.ini")) << "[agent]\nlog=" << dir_.dir() << "/trace.log\n"
                                                  << config;
    port_ = free_port();
    launch how;
    how.argv = {"bash",     std::string(DORV_SOURCE_DIR) + "/scripts/sshd-for-tests.sh",
                dir_.dir(), std::to_string(port_),
                forced,     sshd_lines};
    how.program = "/bin/bash";
    int log = ::open(dir_.path("script.log").c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC, 0644);
    how.stdio = {inherit, log, log};
    // sshd goes when this test process goes, however it ends.
    how.in_child = [] { ::prctl(PR_SET_PDEATHSIG, SIGTERM); };
    sshd_.emplace(how);
    if (log >= 0)
        ::close(log);
    auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    while (std::chrono::steady_clock::now() < deadline) {
        if (sshd_->ended()) {
            failure_ = "sshd did not start: " + read_file(dir_.path("script.log")) +
                       read_file(dir_.path("sshd.log"));
            return;
        }
        if (accepts(port_))
            return;
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
    failure_ =
        "sshd did not listen on port " + std::to_string(port_) + ": " + read_file(dir_.path("sshd.log"));
}

test_sshd::~test_sshd()
{
    for (const std::string& socket : control_sockets()) {
        pid_t pid = master_pid(socket);
        ssh_control(socket, "exit");
        if (pid > 0)
            ends_soon(pid, std::chrono::seconds(5));
    }
    if (sshd_)
        sshd_->stop(SIGTERM);
}

std::string test_sshd::trace() const
{
    return read_file(dir_.path("trace.log"));
}

int test_sshd::connections() const
{
    return count_of(read_file(dir_.path("sshd.log")), "Accepted publickey for ");
}

std::vector<std::string> test_sshd::control_sockets() const
{
    std::vector<std::string> out;
    if (DIR* d = ::opendir(control_dir().c_str())) {
        while (dirent* e = ::readdir(d))
            if (e->d_name[0] != '.')
                out.push_back(control_dir() + "/" + e->d_name);
        ::closedir(d);
    }
    return out;
}

std::vector<std::string> test_sshd::console_args(const std::vector<std::string>& args) const
{
    std::vector<std::string> all = {
        "--ssh",     "dorv-test", "--ssh-option", "-F", "--ssh-option", dir_.path("ssh_config"),
        "--timeout", "20"};
    all.insert(all.end(), args.begin(), args.end());
    return all;
}

console_result test_sshd::console(const std::vector<std::string>& args) const
{
    return run_console(console_args(args), {"", {}, {{"XDG_RUNTIME_DIR", dir_.path("run")}}, {}});
}

console_result test_sshd::console_only(const std::vector<std::string>& args) const
{
    return run_console(args, {"", {}, {{"XDG_RUNTIME_DIR", dir_.path("run")}}, {}});
}

launch test_sshd::console_launch(const std::vector<std::string>& args) const
{
    launch how;
    how.argv = console_args(args);
    how.argv.insert(how.argv.begin(), DORV_CONSOLE);
    std::vector<std::string> env = own_environment();
    set_variable(env, "XDG_RUNTIME_DIR", dir_.path("run"));
    set_variable(env, "XDG_CACHE_HOME", dir_.path("cache"));
    how.env = env;
    return how;
}

int test_sshd::ssh_control(const std::string& socket, const std::string& command, std::string* said)
{
    const temp_file text("");
    launch how;
    how.argv = {"ssh", "-S", socket, "-O", command, "dorv-test"};
    how.program = "/usr/bin/ssh";
    int fd = ::open(text.path().c_str(), O_WRONLY | O_CLOEXEC);
    how.stdio = {inherit, inherit, fd};
    process ssh(how);
    if (fd >= 0)
        ::close(fd);
    int status = ssh.wait_for(std::chrono::seconds(10));
    if (said)
        *said = read_file(text.path());
    return status;
}

pid_t test_sshd::master_pid(const std::string& socket)
{
    std::string said;
    if (ssh_control(socket, "check", &said) != 0)
        return -1;
    auto at = said.find("pid=");
    return at == std::string::npos ? -1 : std::atoi(said.c_str() + at + 4);
}

} // namespace dorv_test
