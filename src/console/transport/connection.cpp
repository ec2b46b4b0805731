// Starting the agent process and exchanging packets with it.
#include "console/transport/connection.h"

#include <poll.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>

#include "console/text/text.h"

namespace dorv {

namespace {

constexpr std::size_t stderr_keep = 8192;

} // namespace

bool agent_connection::start(const transport& how, std::string& error)
{
    child_setup setup;
    noise_ = how.noise;
    setup.argv = how.argv;
    setup.env = inherited_environment();
    // The local agent gets a process group of its own, so that a timeout also ends the
    // probe commands it started. ssh stays in ours: it may need the terminal for a prompt.
    setup.own_group = !how.remote;
    setup.pipe_input = true;
    setup.pipe_errors = true;
    // The agent ends its probe on SIGTERM; SIGKILL would leave the probe behind.
    setup.grace = std::chrono::seconds(1);
    return child_.start(setup, error);
}

io_result agent_connection::send(const std::string& packet)
{
    std::size_t done = 0;
    while (done < packet.size()) {
        if (!child_.input())
            return io_result::ended;
        ssize_t n = ::write(child_.input().get(), packet.data() + done, packet.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return io_result::ended; // EPIPE: the agent is gone
        done += static_cast<std::size_t>(n);
    }
    return io_result::ok;
}

io_result agent_connection::receive(param_array& pairs, std::string& text, deadline_t deadline,
                                    std::string& error)
{
    unique_fd& out = child_.output();
    unique_fd& err = child_.errors();
    for (;;) {
        switch (reader_.take(pairs, text, error)) {
        case take_result::packet:
            return io_result::ok;
        case take_result::bad:
            return io_result::bad;
        case take_result::need_more:
            break;
        }
        if (!out)
            return reap(deadline) ? io_result::ended : io_result::timeout;
        pollfd fds[2] = {{out.get(), POLLIN, 0}, {err.get(), POLLIN, 0}};
        int wait_ms = ms_until(deadline);
        if (wait_ms == 0) {
            kill();
            return io_result::timeout;
        }
        int r = ::poll(fds, err ? 2 : 1, wait_ms);
        if (r < 0 && errno != EINTR) {
            error = std::string("poll: ") + std::strerror(errno);
            return io_result::bad;
        }
        if (r <= 0)
            continue;
        if (err && fds[1].revents)
            read_stderr();
        if (fds[0].revents) {
            char buf[65536];
            ssize_t n = ::read(out.get(), buf, sizeof buf);
            if (n < 0 && errno == EINTR)
                continue;
            if (n <= 0)
                out.reset();
            else
                reader_.feed(std::string_view(buf, static_cast<std::size_t>(n)));
        }
    }
}

void agent_connection::read_stderr()
{
    unique_fd& err = child_.errors();
    char buf[4096];
    ssize_t n = ::read(err.get(), buf, sizeof buf);
    if (n < 0 && errno == EINTR)
        return;
    if (n <= 0) {
        err.reset();
        echo({}, true);
        return;
    }
    echo(std::string_view(buf, static_cast<std::size_t>(n)), false);
    stderr_.append(buf, static_cast<std::size_t>(n));
    if (stderr_.size() > stderr_keep)
        stderr_.erase(0, stderr_.size() - stderr_keep);
}

void agent_connection::echo(std::string_view chunk, bool ended)
{
    if (!echo_)
        return;
    echo_line_.append(chunk);
    std::size_t start = 0;
    for (std::size_t end; (end = echo_line_.find('\n', start)) != std::string::npos; start = end + 1) {
        std::string_view line = std::string_view(echo_line_).substr(start, end - start);
        if (!line.empty() && line.back() == '\r')
            line.remove_suffix(1);
        std::fprintf(echo_, "%s\n", human_text(line).c_str());
    }
    echo_line_.erase(0, start);
    // A line without its end yet is held back, but not without bound.
    if (!echo_line_.empty() && (ended || echo_line_.size() > stderr_keep)) {
        std::fprintf(echo_, "%s\n", human_text(echo_line_).c_str());
        echo_line_.clear();
    }
}

bool agent_connection::reap(deadline_t deadline)
{
    if (child_.status())
        return true;
    if (!child_.started())
        return false;
    // The process's standard error is read while it ends, as it arrives.
    wait_result w = child_.wait_exit(deadline, -1, &child_.errors(), [this] { read_stderr(); });
    if (w != wait_result::ready || !child_.status()) {
        kill();
        return false;
    }
    // What the process wrote last may still sit in the pipe; a process it left behind
    // may hold the pipe open, so only what is there now is taken.
    while (child_.errors()) {
        pollfd p{child_.errors().get(), POLLIN, 0};
        if (::poll(&p, 1, 0) <= 0)
            break;
        read_stderr();
    }
    return true;
}

int agent_connection::finish(deadline_t deadline)
{
    child_.input().reset();
    reap(deadline);
    child_.output().reset();
    child_.errors().reset();
    return child_.status().value_or(-1);
}

void agent_connection::kill()
{
    child_.kill();
    child_.input().reset();
    child_.output().reset();
    child_.errors().reset();
}

std::string agent_connection::stderr_tail() const
{
    // What the transport says about itself is never the cause: the line before it is.
    for (std::size_t before = stderr_.size(); before > 0;) {
        std::size_t end = stderr_.find_last_not_of("\r\n \t", before - 1);
        if (end == std::string::npos)
            return "";
        std::size_t start = stderr_.find_last_of('\n', end);
        start = start == std::string::npos ? 0 : start + 1;
        std::string line = stderr_.substr(start, end - start + 1);
        if (!noise_ || !noise_(line))
            return line;
        before = start;
    }
    return "";
}

} // namespace dorv
