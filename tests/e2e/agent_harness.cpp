// Agent test harness.
#include "e2e/agent_harness.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdlib>
#include <cstring>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <thread>

#include "protocol/header.h"
#include "protocol/packet.h"

namespace dorv_test {

std::string make_temp_dir()
{
    char tmpl[] = "/tmp/dorv-test-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string user_name()
{
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? pw->pw_name : "";
}

void write_script(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

std::optional<agent_options> shipped_agent(const std::string& config, const std::string& ssh_client)
{
    const std::string unshare = "/usr/bin/unshare";
    if (::geteuid() != 0 || ::access(unshare.c_str(), X_OK) != 0 ||
        std::system((unshare + " -m true 2>/dev/null").c_str()) != 0)
        return std::nullopt;
    const std::string script = R"(set -e
mkdir -p ns/upper/dorv ns/work
printf '[agent]\nlog=%s/trace.log\n%s' "$PWD" "$1" > ns/upper/dorv/dorv.ini
if [ -d /etc/dorv ]; then
  mount --bind ns/upper/dorv /etc/dorv || exit 125
else
  mount -t overlay overlay -o "lowerdir=/etc,upperdir=$PWD/ns/upper,workdir=$PWD/ns/work" /etc || exit 125
fi
exec "$2"
)";
    agent_options o;
    o.ssh_client = ssh_client;
    o.config.reset();
    o.binary = unshare;
    o.args = {"-m", "--propagation", "private", "/bin/sh", "-c", script, "sh", config, DORV_AGENT};
    return o;
}

agent::agent(agent_options options)
{
    // Writing to an agent that has already ended must fail, not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    dir_ = make_temp_dir();
    if (options.config) {
        ::mkdir((dir_ + "/etc").c_str(), 0755);
        ::mkdir((dir_ + "/etc/dorv").c_str(), 0755);
        std::string text = *options.config;
        if (text.find("log=") == std::string::npos)
            text = "[agent]\nlog=" + trace_path() + "\n" + text;
        std::ofstream(dir_ + "/etc/dorv/dorv.ini") << text;
        if (options.config_mode)
            ::chmod((dir_ + "/etc/dorv/dorv.ini").c_str(), static_cast<mode_t>(*options.config_mode));
    }

    if (options.uid) {
        ::chmod(dir_.c_str(), 0777);
        // The build tree may sit in a directory that only its owner can enter: the agent
        // runs from a copy that the other user can reach.
        std::string copy = dir_ + "/agent";
        std::ifstream from(options.binary, std::ios::binary);
        std::ofstream(copy, std::ios::binary) << from.rdbuf();
        ::chmod(copy.c_str(), 0755);
        options.binary = copy;
    }

    int to_agent[2], from_agent[2];
    if (::pipe2(to_agent, O_CLOEXEC) != 0 || ::pipe2(from_agent, O_CLOEXEC) != 0)
        throw std::runtime_error("pipe failed");

    std::vector<std::string> env_texts;
    for (char** e = environ; *e; ++e) {
        std::string s = *e;
        if (s.rfind("SSH_CLIENT=", 0) == 0 || s.rfind("PATH=", 0) == 0)
            continue;
        env_texts.push_back(s);
    }
    if (options.ssh_client)
        env_texts.push_back("SSH_CLIENT=" + *options.ssh_client);
    std::string path;
    for (const auto& p : options.path_prefix)
        path += p + ":";
    const char* old_path = std::getenv("PATH");
    path += old_path ? old_path : "/usr/bin:/bin";
    env_texts.push_back("PATH=" + path);
    for (const auto& [k, v] : options.env)
        env_texts.push_back(k + "=" + v);

    std::vector<char*> envp;
    for (auto& s : env_texts)
        envp.push_back(s.data());
    envp.push_back(nullptr);
    std::string bin = options.binary;
    std::vector<char*> argv{bin.data()};
    for (auto& arg : options.args)
        argv.push_back(arg.data());
    argv.push_back(nullptr);

    std::string stderr_path = dir_ + "/stderr.txt";
    pid_ = ::fork();
    if (pid_ == 0) {
        ::dup2(to_agent[0], 0);
        ::dup2(from_agent[1], 1);
        if (options.capture_stderr) {
            int fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::dup2(fd, 2) < 0)
                ::_exit(127);
            ::close(fd);
        }
        if (::chdir(dir_.c_str()) != 0)
            ::_exit(127);
        if (options.uid &&
            (::setgroups(0, nullptr) != 0 || ::setgid(*options.uid) != 0 || ::setuid(*options.uid) != 0))
            ::_exit(126);
        ::signal(SIGPIPE, SIG_DFL);
        ::execve(bin.c_str(), argv.data(), envp.data());
        ::_exit(127);
    }
    ::close(to_agent[0]);
    ::close(from_agent[1]);
    in_ = to_agent[1];
    out_ = from_agent[0];
}

agent::~agent()
{
    if (in_ >= 0)
        ::close(in_);
    if (out_ >= 0)
        ::close(out_);
    if (!status_ && pid_ > 0) {
        ::kill(pid_, SIGKILL);
        ::waitpid(pid_, nullptr, 0);
    }
    std::string cmd = "rm -rf '" + dir_ + "'";
    if (std::system(cmd.c_str()) != 0) {
    }
}

std::string agent::trace() const
{
    return read_file(trace_path());
}

std::string agent::read_packet(std::chrono::milliseconds timeout)
{
    std::string got;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    for (;;) {
        auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline -
                                                                          std::chrono::steady_clock::now());
        if (left.count() <= 0 || out_ < 0)
            return got;
        pollfd p{out_, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return got;
        char buf[65536];
        ssize_t n = ::read(out_, buf, sizeof buf);
        if (n <= 0)
            return got;
        got.append(buf, static_cast<std::size_t>(n));
        // The agent writes every packet with one write; a packet ends in '#'.
        if (!got.empty() && got.back() == '#') {
            dorv::param_array pairs;
            if (got[0] != '#' || dorv::dorv_unpack(got, pairs) != 0)
                return got;
        }
    }
}

const std::string& agent::login()
{
    if (login_.empty()) {
        login_ = read_packet();
        auto at = login_.find("#sessionid=");
        if (at != std::string::npos)
            session_id_ = login_.substr(at + 11, 36);
    }
    return login_;
}

const std::string& agent::session_id()
{
    login();
    return session_id_;
}

void agent::write(const std::string& bytes)
{
    std::size_t done = 0;
    while (done < bytes.size()) {
        ssize_t n = ::write(in_, bytes.data() + done, bytes.size() - done);
        if (n <= 0)
            return;
        done += static_cast<std::size_t>(n);
    }
}

void agent::write_dribbled(const std::string& bytes)
{
    for (char c : bytes) {
        write(std::string(1, c));
        for (int queued = 1; queued > 0;) {
            if (::ioctl(in_, FIONREAD, &queued) != 0 ||
                (queued > 0 && ::waitpid(pid_, nullptr, WNOHANG) != 0))
                return; // the agent has gone
            if (queued > 0)
                std::this_thread::yield();
        }
    }
}

bool agent::wait_trace(const std::string& text, std::chrono::milliseconds timeout) const
{
    auto deadline = std::chrono::steady_clock::now() + timeout;
    while (trace().find(text) == std::string::npos) {
        if (std::chrono::steady_clock::now() > deadline)
            return false;
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
    }
    return true;
}

void agent::send(const std::string& action, const std::string& pairs)
{
    int own = 0;
    for (char c : pairs)
        own += c == '#';
    write(dorv::packet_header(dorv::header_side::request, action, session_id(), own) + "#" + pairs);
}

std::string agent::request(const std::string& action, const std::string& pairs)
{
    send(action, pairs);
    return read_packet();
}

void agent::close_input()
{
    if (in_ >= 0)
        ::close(in_);
    in_ = -1;
}

void agent::close_output()
{
    if (out_ >= 0)
        ::close(out_);
    out_ = -1;
}

int agent::wait(std::chrono::milliseconds timeout)
{
    if (status_)
        return *status_;
    auto deadline = std::chrono::steady_clock::now() + timeout;
    int st = 0;
    for (;;) {
        pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_)
            break;
        if (std::chrono::steady_clock::now() > deadline) {
            ::kill(pid_, SIGKILL);
            ::waitpid(pid_, &st, 0);
            break;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    status_ = WIFEXITED(st) ? WEXITSTATUS(st) : -WTERMSIG(st);
    return *status_;
}

} // namespace dorv_test
