// Starting the agent process and exchanging packets with it.
#include "console/connection.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <thread>

extern char** environ;

namespace dorv {

namespace {

constexpr std::size_t stderr_keep = 8192;

int ms_until(deadline_t deadline)
{
    auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    return left.count() <= 0 ? 0 : static_cast<int>(std::min<long long>(left.count(), 60000));
}

void close_fd(int& fd)
{
    if (fd >= 0)
        ::close(fd);
    fd = -1;
}

}  // namespace

transport local_transport(const std::string& agent_path)
{
    transport t;
    t.argv = {agent_path};
    return t;
}

transport ssh_transport(const std::string& destination, const std::vector<std::string>& options,
                        const std::string& remote_command)
{
    transport t;
    t.argv = {"ssh"};
    t.argv.insert(t.argv.end(), options.begin(), options.end());
    // "--" ends ssh's options: a destination can never be taken for one.
    t.argv.push_back("--");
    t.argv.push_back(destination);
    t.argv.push_back(remote_command);
    t.remote = true;
    t.host = destination;
    t.remote_command = remote_command;
    return t;
}

agent_connection::~agent_connection()
{
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
    if (pid_ > 0 && !status_)
        kill();
}

bool agent_connection::start(const transport& how)
{
    int to[2], from[2], errp[2];
    if (::pipe2(to, O_CLOEXEC) != 0)
        return error_ = std::string("pipe: ") + std::strerror(errno), false;
    if (::pipe2(from, O_CLOEXEC) != 0 || ::pipe2(errp, O_CLOEXEC) != 0) {
        ::close(to[0]);
        ::close(to[1]);
        return error_ = std::string("pipe: ") + std::strerror(errno), false;
    }

    posix_spawn_file_actions_t actions;
    posix_spawn_file_actions_init(&actions);
    posix_spawn_file_actions_adddup2(&actions, to[0], STDIN_FILENO);
    posix_spawn_file_actions_adddup2(&actions, from[1], STDOUT_FILENO);
    posix_spawn_file_actions_adddup2(&actions, errp[1], STDERR_FILENO);

    posix_spawnattr_t attr;
    posix_spawnattr_init(&attr);
    // The console ignores SIGPIPE; the child starts with it at its default.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    short flags = POSIX_SPAWN_SETSIGDEF;
    // The local agent gets a process group of its own, so that a timeout also ends the
    // probe commands it started. ssh stays in ours: it may need the terminal for a prompt.
    own_group_ = !how.remote;
    if (own_group_) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
    posix_spawnattr_setsigdefault(&attr, &defaults);

    std::vector<char*> argv;
    std::vector<std::string> args = how.argv;
    for (auto& a : args)
        argv.push_back(a.data());
    argv.push_back(nullptr);
    // A name without a slash is looked up in PATH (ssh, or an agent found that way).
    int rc = ::posix_spawnp(&pid_, argv[0], &actions, &attr, argv.data(), environ);
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(to[0]);
    ::close(from[1]);
    ::close(errp[1]);
    in_ = to[1];
    out_ = from[0];
    err_ = errp[0];
    if (rc != 0) {
        pid_ = -1;
        error_ = std::string("cannot run ") + args[0] + ": " + std::strerror(rc);
        close_fd(in_);
        close_fd(out_);
        close_fd(err_);
        return false;
    }
    return true;
}

io_result agent_connection::send(const std::string& packet)
{
    std::size_t done = 0;
    while (done < packet.size()) {
        if (in_ < 0)
            return io_result::ended;
        ssize_t n = ::write(in_, packet.data() + done, packet.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return io_result::ended;  // EPIPE: the agent is gone
        done += static_cast<std::size_t>(n);
    }
    return io_result::ok;
}

io_result agent_connection::receive(param_array& pairs, std::string& text, deadline_t deadline)
{
    for (;;) {
        switch (reader_.take(pairs, text)) {
        case take_result::packet:
            return io_result::ok;
        case take_result::bad:
            error_ = reader_.error();
            return io_result::bad;
        case take_result::need_more:
            break;
        }
        if (out_ < 0)
            return reap(deadline) ? io_result::ended : io_result::timeout;
        pollfd fds[2] = {{out_, POLLIN, 0}, {err_, POLLIN, 0}};
        int wait_ms = ms_until(deadline);
        if (wait_ms == 0) {
            kill();
            return io_result::timeout;
        }
        int r = ::poll(fds, err_ >= 0 ? 2 : 1, wait_ms);
        if (r < 0 && errno != EINTR)
            return error_ = std::string("poll: ") + std::strerror(errno), io_result::bad;
        if (r <= 0)
            continue;
        if (err_ >= 0 && fds[1].revents)
            read_stderr();
        if (fds[0].revents) {
            char buf[65536];
            ssize_t n = ::read(out_, buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                close_fd(out_);
            else
                reader_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }
}

void agent_connection::read_stderr()
{
    char buf[4096];
    ssize_t n = ::read(err_, buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        close_fd(err_);
        return;
    }
    stderr_.append(buf, static_cast<std::size_t>(n));
    if (stderr_.size() > stderr_keep)
        stderr_.erase(0, stderr_.size() - stderr_keep);
}

bool agent_connection::reap(deadline_t deadline)
{
    if (status_)
        return true;
    if (pid_ <= 0)
        return false;
    for (;;) {
        int st = 0;
        pid_t r = ::waitpid(pid_, &st, WNOHANG);
        if (r == pid_) {
            status_ = st;
            break;
        }
        if (ms_until(deadline) == 0) {
            kill();
            return false;
        }
        if (err_ >= 0) {
            pollfd p{err_, POLLIN, 0};
            if (::poll(&p, 1, 10) > 0)
                read_stderr();
        } else {
            std::this_thread::sleep_for(std::chrono::milliseconds(5));
        }
    }
    // What the process wrote last may still sit in the pipe; a process it left behind
    // may hold the pipe open, so only what is there now is taken.
    while (err_ >= 0) {
        pollfd p{err_, POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        read_stderr();
    }
    return true;
}

int agent_connection::finish(deadline_t deadline)
{
    close_fd(in_);
    reap(deadline);
    close_fd(out_);
    close_fd(err_);
    return status_.value_or(-1);
}

void agent_connection::kill()
{
    if (pid_ <= 0 || status_)
        return;
    ::kill(own_group_ ? -pid_ : pid_, SIGKILL);
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    status_ = st;
    close_fd(in_);
    close_fd(out_);
    close_fd(err_);
}

std::string agent_connection::stderr_tail() const
{
    std::size_t end = stderr_.find_last_not_of("\r\n \t");
    if (end == std::string::npos)
        return "";
    std::size_t start = stderr_.find_last_of('\n', end);
    start = start == std::string::npos ? 0 : start + 1;
    return stderr_.substr(start, end - start + 1);
}

}  // namespace dorv
