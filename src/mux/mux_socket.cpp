// The control socket's I/O, non-blocking throughout and bounded by the caller's deadline.
#include "mux/mux_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dorv {

mux_io mux_socket::connect(const std::string& path, std::string& why)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path) {
        why = "the socket path is too long";
        return mux_io::bad;
    }
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    fd_.reset(::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0));
    if (!fd_) {
        why = std::string("socket: ") + std::strerror(errno);
        return mux_io::bad;
    }
    if (::connect(fd_.get(), reinterpret_cast<const sockaddr*>(&addr), sizeof addr) == 0)
        return mux_io::ok;
    why = std::string("cannot reach the master: ") + std::strerror(errno);
    // A full backlog on a Unix socket: nobody accepts connections there any more.
    mux_io result = errno == EAGAIN ? mux_io::timeout : mux_io::bad;
    fd_.reset();
    return result;
}

mux_io mux_socket::wait(short events, mux_deadline deadline) const
{
    for (;;) {
        auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - std::chrono::steady_clock::now());
        if (left.count() <= 0)
            return mux_io::timeout;
        pollfd p{fd_.get(), events, 0};
        int n = ::poll(&p, 1, static_cast<int>(std::min<long long>(left.count(), 60000)));
        if (n < 0 && errno != EINTR)
            return mux_io::ended;
        if (n > 0)
            return mux_io::ok;
    }
}

mux_io mux_socket::send(const std::string& bytes, mux_deadline deadline)
{
    for (std::size_t done = 0; done < bytes.size();) {
        ssize_t n = ::send(fd_.get(), bytes.data() + done, bytes.size() - done, MSG_NOSIGNAL);
        if (n > 0) {
            done += static_cast<std::size_t>(n);
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return mux_io::ended;
        if (mux_io w = wait(POLLOUT, deadline); w != mux_io::ok)
            return w;
    }
    return mux_io::ok;
}

mux_io mux_socket::send_fd(int fd, mux_deadline deadline)
{
    char byte = 0;
    iovec iov{&byte, 1};
    alignas(cmsghdr) char control[CMSG_SPACE(sizeof(int))] = {};
    msghdr msg{};
    msg.msg_iov = &iov;
    msg.msg_iovlen = 1;
    msg.msg_control = control;
    msg.msg_controllen = sizeof control;
    cmsghdr* c = CMSG_FIRSTHDR(&msg);
    c->cmsg_level = SOL_SOCKET;
    c->cmsg_type = SCM_RIGHTS;
    c->cmsg_len = CMSG_LEN(sizeof(int));
    std::memcpy(CMSG_DATA(c), &fd, sizeof(int));
    for (;;) {
        ssize_t n = ::sendmsg(fd_.get(), &msg, MSG_NOSIGNAL);
        if (n == 1)
            return mux_io::ok;
        if (n < 0 && errno == EINTR)
            continue;
        if (n >= 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return mux_io::ended;
        if (mux_io w = wait(POLLOUT, deadline); w != mux_io::ok)
            return w;
    }
}

mux_io mux_socket::receive(mux_reply& reply, mux_deadline deadline)
{
    for (;;) {
        bool broken = false;
        if (auto r = take_mux_reply(buffer_, broken)) {
            reply = *r;
            return mux_io::ok;
        }
        if (broken)
            return mux_io::bad;
        char chunk[4096];
        ssize_t n = ::read(fd_.get(), chunk, sizeof chunk);
        if (n > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(n));
            continue;
        }
        if (n < 0 && errno == EINTR)
            continue;
        if (n == 0 || (errno != EAGAIN && errno != EWOULDBLOCK))
            return mux_io::ended;
        if (mux_io w = wait(POLLIN, deadline); w != mux_io::ok)
            return w;
    }
}

} // namespace dorv
