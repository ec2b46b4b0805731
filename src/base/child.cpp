// Starting, waiting for and ending child processes.
#include "base/child.h"

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>

#include <atomic>
#include <cerrno>
#include <cstring>
#include <limits>

namespace dorv {

bool make_pipe(unique_fd& read_end, unique_fd& write_end)
{
    int fds[2];
    if (::pipe(fds) != 0)
        return false;
    for (int fd : fds)
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
    read_end.reset(fds[0]);
    write_end.reset(fds[1]);
    return true;
}

namespace {

// Children still running, as the target of kill(): -pgid for a group of its own. A signal
// handler reads the table, so its entries are lock-free atomics. A slot is reserved before
// the spawn, so that a started child always has one.
constexpr int max_children = max_running_children;
constexpr pid_t reserved = std::numeric_limits<pid_t>::min();
std::atomic<pid_t> running[max_children];
std::atomic<bool> asked_first[max_children]; // the child is asked with SIGTERM to end
static_assert(std::atomic<pid_t>::is_always_lock_free && std::atomic<bool>::is_always_lock_free);

// SIGCHLD writes a byte into this pipe, so that waiting for a child's end is a poll on its
// read end rather than a loop of sleeps.
int exit_pipe[2] = {-1, -1};

void on_child_exit(int)
{
    int saved = errno;
    char b = 0;
    if (::write(exit_pipe[1], &b, 1) < 0) {
        // A full pipe already holds the news.
    }
    errno = saved;
}

bool install_exit_watch()
{
    if (::pipe(exit_pipe) != 0)
        return false;
    for (int fd : exit_pipe) {
        ::fcntl(fd, F_SETFD, FD_CLOEXEC);
        ::fcntl(fd, F_SETFL, O_NONBLOCK);
    }
    struct sigaction sa {};
    sa.sa_handler = on_child_exit;
    sa.sa_flags = SA_RESTART | SA_NOCLDSTOP;
    sigemptyset(&sa.sa_mask);
    ::sigaction(SIGCHLD, &sa, nullptr);
    return true;
}

// Installed once, whichever thread starts the first child (the exporter starts them from
// several threads).
bool watch_exits()
{
    static const bool installed = install_exit_watch();
    return installed;
}

void drain_exit_pipe()
{
    char buf[64];
    while (::read(exit_pipe[0], buf, sizeof buf) > 0) {
    }
}

void on_termination(int sig)
{
    for (int i = 0; i < max_children; ++i)
        if (pid_t t = running[i].load(); t != 0 && t != reserved)
            ::kill(t, asked_first[i].load() ? SIGTERM : SIGKILL);
    ::signal(sig, SIG_DFL);
    ::raise(sig);
}

bool lost_reader(const pollfd& p)
{
    return p.revents & (POLLERR | POLLHUP | POLLNVAL);
}

// Polls fds until one is ready, the deadline passes, or the watched descriptor (the last
// entry when watch >= 0) loses its reader.
wait_result poll_until(pollfd* fds, int n, deadline_t deadline, int watch)
{
    int all = n;
    if (watch >= 0)
        fds[all++] = pollfd{watch, 0, 0};
    for (;;) {
        int ms = ms_until(deadline);
        if (ms == 0)
            return wait_result::timeout;
        int r = ::poll(fds, static_cast<nfds_t>(all), ms);
        if (r < 0 && errno != EINTR && errno != EAGAIN)
            return wait_result::ready; // nothing to wait on: the caller's read tells
        if (r <= 0)
            continue;
        if (watch >= 0 && lost_reader(fds[n]))
            return wait_result::watch_gone;
        return wait_result::ready;
    }
}

// The child's standard streams: its input from in_read or /dev/null, its output to
// out_write, its errors to err_write when they are piped (else the parent's own).
void set_streams(posix_spawn_file_actions_t& actions, const child_setup& setup, int in_read, int out_write,
                 int err_write)
{
    posix_spawn_file_actions_init(&actions);
    if (setup.pipe_input)
        posix_spawn_file_actions_adddup2(&actions, in_read, STDIN_FILENO);
    else
        posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, out_write, STDOUT_FILENO);
    if (setup.pipe_errors)
        posix_spawn_file_actions_adddup2(&actions, err_write, STDERR_FILENO);
}

// Both programs ignore SIGPIPE; the child must not inherit that, nor a blocked signal.
void set_attributes(posix_spawnattr_t& attr, bool own_group)
{
    posix_spawnattr_init(&attr);
    sigset_t defaults, none;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    short flags = POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK;
    if (own_group) {
        flags |= POSIX_SPAWN_SETPGROUP;
        posix_spawnattr_setpgroup(&attr, 0);
    }
    posix_spawnattr_setflags(&attr, flags);
}

// Reserves a slot in the table of running children; the slot, or -1 when the table is full.
int reserve_slot()
{
    for (int i = 0; i < max_children; ++i) {
        pid_t expected = 0;
        if (running[i].compare_exchange_strong(expected, reserved))
            return i;
    }
    return -1;
}

// Holds SIGTERM, SIGINT and SIGHUP back while it lives. Starting a child under it closes the
// window between the spawn and the child's entry in the table: a signal that comes meanwhile
// is acted on once the child is there to be ended with its owner.
class termination_hold {
  public:
    termination_hold()
    {
        sigset_t set;
        sigemptyset(&set);
        for (int sig : {SIGTERM, SIGINT, SIGHUP})
            sigaddset(&set, sig);
        ::sigprocmask(SIG_BLOCK, &set, &old_);
    }
    ~termination_hold() { ::sigprocmask(SIG_SETMASK, &old_, nullptr); }
    termination_hold(const termination_hold&) = delete;
    termination_hold& operator=(const termination_hold&) = delete;

  private:
    sigset_t old_;
};

} // namespace

int ms_until(deadline_t deadline)
{
    auto left =
        std::chrono::duration_cast<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
    if (left.count() <= 0)
        return 0;
    // Rounded up, so that a wait never ends a little before its deadline.
    return static_cast<int>(std::min<long long>(left.count() + 1, 60000));
}

child_process::~child_process()
{
    kill();
    in_.reset();
    out_.reset();
    err_.reset();
}

bool child_process::start(const child_setup& setup, std::string& error)
{
    if (setup.argv.empty())
        return error = "no program to run", false;
    if (!watch_exits())
        return error = std::string("pipe: ") + std::strerror(errno), false;
    unique_fd in_read, out_write, err_write;
    if ((setup.pipe_input && !make_pipe(in_read, in_)) || !make_pipe(out_, out_write) ||
        (setup.pipe_errors && !make_pipe(err_, err_write)))
        return error = std::string("pipe: ") + std::strerror(errno), false;

    posix_spawn_file_actions_t actions;
    set_streams(actions, setup, in_read.get(), out_write.get(), err_write.get());
    posix_spawnattr_t attr;
    set_attributes(attr, setup.own_group);
    std::vector<std::string> argv_texts = setup.argv;
    std::vector<std::string> env_texts = setup.env;
    std::vector<char*> argv = exec_pointers(argv_texts), envp = exec_pointers(env_texts);

    termination_hold hold;
    int slot = reserve_slot();
    pid_t pid = -1;
    int rc = slot < 0 ? EAGAIN : ::posix_spawnp(&pid, argv[0], &actions, &attr, argv.data(), envp.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    if (rc != 0) {
        if (slot >= 0)
            running[slot].store(0);
        in_.reset();
        out_.reset();
        err_.reset();
        return error = "cannot run " + setup.argv[0] + ": " + std::strerror(rc), false;
    }
    pid_ = pid;
    own_group_ = setup.own_group;
    grace_ = setup.grace;
    status_.reset();
    slot_ = slot;
    asked_first[slot].store(grace_.count() > 0);
    running[slot].store(own_group_ ? -pid : pid);
    return true;
}

wait_result child_process::wait_readable(int fd, deadline_t deadline, int watch)
{
    pollfd fds[2] = {{fd, POLLIN, 0}, {}};
    return poll_until(fds, 1, deadline, watch);
}

bool child_process::try_reap()
{
    if (status_)
        return true;
    if (pid_ <= 0)
        return false;
    // Looked at first without reaping: while the ended child is not reaped its number
    // cannot be reused, so its group can still be killed safely. What the group still
    // holds (a background grandchild) goes with it.
    siginfo_t info{};
    int r;
    do
        r = ::waitid(P_PID, static_cast<id_t>(pid_), &info, WEXITED | WNOHANG | WNOWAIT);
    while (r < 0 && errno == EINTR);
    if (r != 0 || info.si_pid != pid_)
        return false;
    if (own_group_)
        ::kill(-pid_, SIGKILL);
    reap();
    return true;
}

void child_process::reap()
{
    int st = 0;
    while (::waitpid(pid_, &st, 0) < 0 && errno == EINTR) {
    }
    status_ = st;
    forget();
}

wait_result child_process::wait_output(deadline_t deadline, int watch)
{
    for (;;) {
        drain_exit_pipe();
        try_reap();
        pollfd fds[4] = {{out_.get(), POLLIN, 0}, {exit_pipe[0], POLLIN, 0}, {err_.get(), POLLIN, 0}, {}};
        wait_result w = poll_until(fds, 3, deadline, watch);
        if (w != wait_result::ready || fds[0].revents || fds[2].revents || !out_)
            return w;
    }
}

wait_result child_process::wait_exit(deadline_t deadline, int watch, const unique_fd* also,
                                     const std::function<void()>& on_also)
{
    for (;;) {
        drain_exit_pipe();
        if (try_reap() || pid_ <= 0)
            return wait_result::ready;
        bool with_also = also && *also && on_also;
        pollfd fds[3] = {{exit_pipe[0], POLLIN, 0}, {with_also ? also->get() : -1, POLLIN, 0}, {}};
        wait_result w = poll_until(fds, with_also ? 2 : 1, deadline, watch);
        if (w != wait_result::ready)
            return w;
        if (with_also && fds[1].revents)
            on_also(); // reads it, and closes it at its end
    }
}

void child_process::kill()
{
    if (pid_ <= 0 || status_)
        return;
    if (grace_.count() > 0) {
        ::kill(own_group_ ? -pid_ : pid_, SIGTERM);
        if (wait_exit(std::chrono::steady_clock::now() + grace_) == wait_result::ready && status_)
            return;
    }
    if (own_group_)
        ::kill(-pid_, SIGKILL);
    ::kill(pid_, SIGKILL);
    reap();
}

void child_process::ask_to_end()
{
    if (pid_ <= 0 || status_)
        return;
    ::kill(own_group_ ? -pid_ : pid_, SIGTERM);
    grace_ = std::chrono::milliseconds(0);
}

void child_process::forget()
{
    if (slot_ >= 0)
        running[slot_].store(0);
    slot_ = -1;
}

bool is_started_child(pid_t pid)
{
    for (const auto& r : running)
        if (pid_t t = r.load(); t != 0 && t != reserved && (t == pid || t == -pid))
            return true;
    return false;
}

bool wait_for_exit(const std::function<bool()>& ended, deadline_t deadline)
{
    if (!watch_exits())
        return ended();
    for (;;) {
        drain_exit_pipe();
        if (ended())
            return true;
        pollfd fds[2] = {{exit_pipe[0], POLLIN, 0}, {}};
        if (poll_until(fds, 1, deadline, -1) == wait_result::timeout)
            return false;
    }
}

void end_children_on_signals()
{
    struct sigaction sa {};
    sa.sa_handler = on_termination;
    sigemptyset(&sa.sa_mask);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        ::sigaction(sig, &sa, nullptr);
}

} // namespace dorv
