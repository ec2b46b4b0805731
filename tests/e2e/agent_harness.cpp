// Agent test harness.
#include "e2e/agent_harness.h"

#include <fcntl.h>
#include <grp.h>
#include <poll.h>
#include <pwd.h>
#include <signal.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <thread>

#include "protocol/header.h"
#include "protocol/packet.h"
#include "support/fake_command.h"

namespace dorv_test {

std::string user_name()
{
    const passwd* pw = ::getpwuid(::getuid());
    return pw && pw->pw_name ? pw->pw_name : "";
}

bool private_mounts_work()
{
    return ::geteuid() == 0 &&
           std::system("unshare -m sh -c 'mount --bind /bin/true /bin/true' >/dev/null 2>&1") == 0;
}

void write_namespace_wrapper(const std::string& wrapper, const std::string& mounts, const std::string& binary)
{
    write_script(wrapper, "exec unshare -m sh -c '" + mounts + " && exec \"$0\"' '" + binary + "'\n");
}

agent_options in_namespace(agent_options o, const std::string& dir, const std::string& mounts)
{
    std::string wrapper = dir + "/agent-in-namespace";
    write_namespace_wrapper(wrapper, mounts, o.binary);
    o.binary = wrapper;
    return o;
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

namespace {

// The agent's environment: the test's own but for SSH_CLIENT and PATH, then those two as
// the options have them, then the options' own variables.
std::vector<std::string> agent_environment(const agent_options& options)
{
    std::vector<std::string> env = own_environment();
    unset_variable(env, "SSH_CLIENT");
    unset_variable(env, "PATH");
    if (options.ssh_client)
        env.push_back("SSH_CLIENT=" + *options.ssh_client);
    env.push_back("PATH=" + prefixed_path(options.path_prefix));
    for (const auto& [k, v] : options.env)
        env.push_back(k + "=" + v);
    return env;
}

// Writes the agent's configuration into dir and says how to start it there.
launch prepare(const std::string& dir, agent_options options)
{
    // Writing to an agent that has already ended must fail, not kill the test.
    ::signal(SIGPIPE, SIG_IGN);
    if (options.config) {
        ::mkdir((dir + "/etc").c_str(), 0755);
        ::mkdir((dir + "/etc/dorv").c_str(), 0755);
        std::string text = *options.config;
        if (text.find("log=") == std::string::npos)
            text = "[agent]\nlog=" + dir + "/trace.log\n" + text;
        std::ofstream(dir + "/etc/dorv/dorv.ini") << text;
        if (options.config_mode)
            ::chmod((dir + "/etc/dorv/dorv.ini").c_str(), static_cast<mode_t>(*options.config_mode));
    }
    if (options.uid) {
        ::chmod(dir.c_str(), 0777);
        // The build tree may sit in a directory that only its owner can enter: the agent
        // runs from a copy that the other user can reach.
        std::string copy = dir + "/agent";
        std::ifstream from(options.binary, std::ios::binary);
        std::ofstream(copy, std::ios::binary) << from.rdbuf();
        ::chmod(copy.c_str(), 0755);
        options.binary = copy;
    }
    launch how;
    how.argv = {options.binary};
    how.argv.insert(how.argv.end(), options.args.begin(), options.args.end());
    how.env = agent_environment(options);
    how.cwd = dir;
    how.stdio = {piped, piped, inherit};
    how.in_child = [stderr_path = dir + "/stderr.txt", capture = options.capture_stderr, uid = options.uid] {
        if (capture) {
            int fd = ::open(stderr_path.c_str(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
            if (fd < 0 || ::dup2(fd, 2) < 0)
                ::_exit(127);
            ::close(fd);
        }
        if (uid && (::setgroups(0, nullptr) != 0 || ::setgid(*uid) != 0 || ::setuid(*uid) != 0))
            ::_exit(126);
        ::signal(SIGPIPE, SIG_DFL);
    };
    return how;
}

} // namespace

agent::agent(agent_options options) : process_(prepare(dir_.dir(), std::move(options))) {}

agent::~agent() = default;

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
        const int out = process_.fd(1);
        if (left.count() <= 0 || out < 0)
            return got;
        pollfd p{out, POLLIN, 0};
        if (::poll(&p, 1, static_cast<int>(left.count())) <= 0)
            return got;
        char buf[65536];
        ssize_t n = ::read(out, buf, sizeof buf);
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
        ssize_t n = ::write(process_.fd(0), bytes.data() + done, bytes.size() - done);
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
            if (::ioctl(process_.fd(0), FIONREAD, &queued) != 0 || (queued > 0 && process_.ended()))
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
    process_.close_fd(0);
}

void agent::close_output()
{
    process_.close_fd(1);
}

int agent::wait(std::chrono::milliseconds timeout)
{
    return process_.wait_for(timeout);
}

} // namespace dorv_test
