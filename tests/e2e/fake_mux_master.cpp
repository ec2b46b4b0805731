// The silent master: one thread that accepts, greets and reads until it is told to stop.
#include "e2e/fake_mux_master.h"

#include <fcntl.h>
#include <poll.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>

namespace dorv_test {

namespace {

std::string u32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

} // namespace

fake_mux_master::fake_mux_master(const std::string& path, std::uint32_t version) : path_(path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, path.c_str(), std::min(path.size() + 1, sizeof addr.sun_path - 1));
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    struct stat st;
    if (::pipe2(stop_, O_CLOEXEC) != 0 || ::bind(fd, reinterpret_cast<sockaddr*>(&addr), sizeof addr) != 0 ||
        ::listen(fd, 8) != 0 || ::stat(path.c_str(), &st) != 0) {
        ::close(fd);
        return;
    }
    listener_ = fd;
    dev_ = st.st_dev;
    ino_ = st.st_ino;
    thread_ = std::thread([this, version] { serve(version); });
}

void fake_mux_master::stop()
{
    if (thread_.joinable()) {
        [[maybe_unused]] ssize_t n = ::write(stop_[1], "x", 1);
        thread_.join();
    }
}

fake_mux_master::~fake_mux_master()
{
    stop();
    struct stat st;
    if (listener_ >= 0 && ::stat(path_.c_str(), &st) == 0 && st.st_dev == dev_ && st.st_ino == ino_)
        ::unlink(path_.c_str());
    for (int fd : {listener_, stop_[0], stop_[1]})
        if (fd >= 0)
            ::close(fd);
}

void fake_mux_master::serve(std::uint32_t version)
{
    const std::string hello = u32(8) + u32(1) + u32(version);
    std::vector<pollfd> fds = {{stop_[0], POLLIN, 0}, {listener_, POLLIN, 0}};
    std::vector<bool> counted = {false, false};
    for (;;) {
        int ready = ::poll(fds.data(), fds.size(), -1);
        if ((ready < 0 && errno != EINTR) || fds[0].revents)
            break;
        if (ready < 0)
            continue;
        if (fds[1].revents) {
            int client = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
            if (client >= 0 && ::write(client, hello.data(), hello.size()) > 0) {
                fds.push_back({client, POLLIN, 0});
                counted.push_back(false);
            } else if (client >= 0) {
                ::close(client);
            }
        }
        for (std::size_t i = 2; i < fds.size(); ++i)
            if (fds[i].revents && !hear(fds[i].fd, counted[i])) {
                ::close(fds[i].fd);
                fds.erase(fds.begin() + static_cast<std::ptrdiff_t>(i));
                counted.erase(counted.begin() + static_cast<std::ptrdiff_t>(i));
                --i;
            }
    }
    // What arrived before the stop counts too.
    for (std::size_t i = 2; i < fds.size(); ++i) {
        pollfd p{fds[i].fd, POLLIN, 0};
        if (::poll(&p, 1, 0) > 0)
            hear(fds[i].fd, counted[i]);
        ::close(fds[i].fd);
    }
}

bool fake_mux_master::hear(int client, std::vector<bool>::reference counted)
{
    // Reading drops the descriptors a client passes: this master holds none of them.
    char buf[4096];
    ssize_t n = ::read(client, buf, sizeof buf);
    if (n > 0 && !counted) {
        counted = true;
        ++heard_;
    }
    return n > 0;
}

} // namespace dorv_test
