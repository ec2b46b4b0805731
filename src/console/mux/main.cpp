// dorv-mux SOCKET COMMAND -- SSH ARGUMENT...
//
// Opens one session that runs COMMAND on the ssh master listening on SOCKET, hands it this
// process's standard input, output and error, and exits with the command's exit status
// (255 when the connection ends without one), as `ssh -S SOCKET HOST COMMAND` would,
// without the cost of starting ssh. When the master cannot be used (it refuses the session,
// as sshd's MaxSessions makes it, or does not speak the protocol) it runs SSH ARGUMENT...
// instead, a connection of its own.
#include <fcntl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <optional>
#include <string>

#include "console/mux/mux_message.h"

namespace {

[[noreturn]] void run_ssh(char** ssh_argv, int sock)
{
    if (sock >= 0)
        ::close(sock);
    ::execvp(ssh_argv[0], ssh_argv);
    std::fprintf(stderr, "dorv-mux: cannot run %s: %s\n", ssh_argv[0], std::strerror(errno));
    ::_exit(255);
}

bool write_all(int fd, const std::string& s)
{
    for (std::size_t done = 0; done < s.size();) {
        ssize_t n = ::write(fd, s.data() + done, s.size() - done);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return false;
        done += static_cast<std::size_t>(n);
    }
    return true;
}

// Passes descriptor fd over the socket, with the one byte the master reads with it.
bool send_fd(int sock, int fd)
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
    ssize_t n;
    while ((n = ::sendmsg(sock, &msg, 0)) < 0 && errno == EINTR) {
    }
    return n == 1;
}

// The master's next message; nothing when the connection ends or breaks the protocol.
std::optional<dorv::mux_reply> next_reply(int sock, std::string& buffer)
{
    for (;;) {
        bool bad = false;
        if (auto r = dorv::take_mux_reply(buffer, bad))
            return r;
        if (bad)
            return std::nullopt;
        char chunk[4096];
        ssize_t n = ::read(sock, chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n <= 0)
            return std::nullopt;
        buffer.append(chunk, static_cast<std::size_t>(n));
    }
}

int connect_master(const char* path)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (std::strlen(path) >= sizeof addr.sun_path)
        return -1;
    std::strcpy(addr.sun_path, path);
    int sock = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    if (sock >= 0 && ::connect(sock, reinterpret_cast<const sockaddr*>(&addr), sizeof addr) != 0) {
        ::close(sock);
        return -1;
    }
    return sock;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 5 || std::strcmp(argv[3], "--") != 0) {
        std::fprintf(stderr, "usage: dorv-mux SOCKET COMMAND -- SSH ARGUMENT...\n");
        return 255;
    }
    char** ssh_argv = argv + 4;
    int sock = connect_master(argv[1]);
    std::string buffer;
    auto hello = sock >= 0 ? next_reply(sock, buffer) : std::nullopt;
    if (!hello || hello->type != dorv::mux_hello)
        run_ssh(ssh_argv, sock);
    if (!write_all(sock, dorv::mux_hello_packet() + dorv::mux_new_session_packet(1, argv[2])) ||
        !send_fd(sock, STDIN_FILENO) || !send_fd(sock, STDOUT_FILENO) || !send_fd(sock, STDERR_FILENO))
        run_ssh(ssh_argv, sock);
    bool opened = false;
    while (auto r = next_reply(sock, buffer)) {
        if (!opened && (r->type == dorv::mux_failure || r->type == dorv::mux_permission_denied))
            run_ssh(ssh_argv, sock);
        if (r->type == dorv::mux_session_opened && !opened) {
            opened = true;
            // The master holds the session's input and output now; ours would keep the
            // other ends from seeing them close.
            int null = ::open("/dev/null", O_RDWR);
            ::dup2(null, STDIN_FILENO);
            ::dup2(null, STDOUT_FILENO);
            ::close(null);
        } else if (r->type == dorv::mux_exit_message) {
            return static_cast<int>(r->second & 0xff);
        }
    }
    if (!opened)
        run_ssh(ssh_argv, sock);
    return 255;
}
