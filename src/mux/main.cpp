// dorv-mux [--verbose] [--wait MILLISECONDS] SOCKET COMMAND -- SSH ARGUMENT...
//
// Opens one session that runs COMMAND on the ssh master listening on SOCKET, hands it this
// process's standard input, output and error, and exits with the command's exit status
// (255 when the connection ends without one), as `ssh -S SOCKET HOST COMMAND` would,
// without the cost of starting ssh. SSH ARGUMENT... is the ssh command line that uses or
// becomes the master on SOCKET (its ControlPath). When the session is not opened:
//  - the master refuses it (sshd's MaxSessions): ssh runs with ControlPath=none, a
//    connection of its own, since the master would refuse ssh the same way;
//  - the master says anything else unexpected (another protocol version, a message out of
//    place, a closed connection): ssh runs as given, and opens the session on the same
//    master with its own client, which knows the protocol the installed ssh speaks;
//  - the master has not opened it within the wait (default 5000 ms; a master whose TCP
//    connection died greets but never opens one): its socket is removed, and ssh connects
//    afresh and becomes the new master. The old master ends by its keepalives (holding the
//    descriptors it was handed until then); it is not stopped here, since sessions of
//    other checks may still run on it.
// --verbose says on standard error which of these happened.
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "mux/mux_socket.h"

namespace {

struct arguments {
    bool verbose = false;
    long wait_ms = 5000;
    std::string socket;
    std::string command;
    std::vector<char*> ssh; // ends with a null pointer
};

bool parse(int argc, char** argv, arguments& a)
{
    int i = 1;
    for (; i < argc && argv[i][0] == '-'; ++i) {
        if (std::strcmp(argv[i], "--verbose") == 0) {
            a.verbose = true;
        } else if (std::strcmp(argv[i], "--wait") == 0 && i + 1 < argc) {
            char* end = nullptr;
            a.wait_ms = std::strtol(argv[++i], &end, 10);
            if (*end != '\0' || a.wait_ms < 0 || a.wait_ms > 3600000)
                return false;
        } else {
            return false;
        }
    }
    if (argc - i < 4 || std::strcmp(argv[i + 2], "--") != 0)
        return false;
    a.socket = argv[i];
    a.command = argv[i + 1];
    a.ssh.assign(argv + i + 3, argv + argc);
    a.ssh.push_back(nullptr);
    return true;
}

enum class fallback {
    direct,    // the master refused the session
    on_master, // a surprise: ssh's own client on the same master
    afresh,    // no session within the wait: the stale master's socket goes
};

// The socket's identity, so that only the socket this helper waited on is removed, never
// one that a newer master has put in its place meanwhile.
struct identity {
    bool known = false;
    dev_t dev = 0;
    ino_t ino = 0;
};

identity identify(const std::string& path)
{
    struct stat st;
    if (::lstat(path.c_str(), &st) != 0 || !S_ISSOCK(st.st_mode))
        return {};
    return {true, st.st_dev, st.st_ino};
}

// Leaves the master and runs ssh the way how says; the connection to the master is not
// passed on to ssh.
[[noreturn]] void run_ssh(const arguments& a, dorv::mux_socket& sock, fallback how, const std::string& why,
                          identity waited)
{
    sock.close();
    std::vector<char*> argv = a.ssh;
    std::string none = "-oControlPath=none"; // ssh takes the first value of an option
    const char* path = "ssh connects afresh and becomes the master";
    if (how == fallback::direct) {
        argv.insert(argv.begin() + 1, none.data());
        path = "ssh connects directly";
    } else if (how == fallback::on_master) {
        path = "ssh opens the session on the master";
    } else if (identity now = identify(a.socket);
               waited.known && now.known && now.dev == waited.dev && now.ino == waited.ino) {
        ::unlink(a.socket.c_str());
    }
    if (a.verbose)
        std::fprintf(stderr, "dorv-mux: %s: %s\n", why.c_str(), path);
    ::execvp(argv[0], argv.data());
    std::fprintf(stderr, "dorv-mux: cannot run %s: %s\n", argv[0], std::strerror(errno));
    ::_exit(255);
}

std::string hex(std::uint32_t v)
{
    char text[16];
    std::snprintf(text, sizeof text, "0x%08x", v);
    return text;
}

// What the master did instead of the awaited reply, and which way to go from there.
[[noreturn]] void fail(const arguments& a, dorv::mux_socket& sock, dorv::mux_io r, const std::string& awaited,
                       identity waited)
{
    if (r == dorv::mux_io::timeout) {
        char within[64];
        std::snprintf(within, sizeof within, " within %.1f s", static_cast<double>(a.wait_ms) / 1000);
        run_ssh(a, sock, fallback::afresh, "the master at " + a.socket + " sent no " + awaited + within,
                waited);
    }
    std::string what = r == dorv::mux_io::ended ? "closed the connection" : "sent what is not a message";
    run_ssh(a, sock, fallback::on_master, "the master at " + a.socket + " " + what + " before its " + awaited,
            waited);
}

} // namespace

int main(int argc, char** argv)
{
    arguments a;
    if (!parse(argc, argv, a)) {
        std::fprintf(stderr,
                     "usage: dorv-mux [--verbose] [--wait MILLISECONDS] SOCKET COMMAND -- SSH ARGUMENT...\n");
        return 255;
    }
    using namespace dorv;
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(a.wait_ms);
    const identity waited = identify(a.socket);
    mux_socket sock;
    std::string why;
    if (mux_io r = sock.connect(a.socket, why); r != mux_io::ok)
        run_ssh(a, sock, r == mux_io::timeout ? fallback::afresh : fallback::on_master, why, waited);
    mux_reply hello;
    if (mux_io r = sock.receive(hello, deadline); r != mux_io::ok)
        fail(a, sock, r, "hello", waited);
    if (hello.type != mux_hello || hello.first != mux_version)
        run_ssh(a, sock, fallback::on_master,
                hello.type != mux_hello
                    ? "the master greeted with message " + hex(hello.type) + ", not a hello"
                    : "the master speaks multiplexing protocol version " + std::to_string(hello.first) +
                          ", this helper version " + std::to_string(mux_version),
                waited);
    constexpr std::uint32_t request = 1;
    mux_io sent = sock.send(mux_hello_packet() + mux_new_session_packet(request, a.command), deadline);
    for (int fd : {STDIN_FILENO, STDOUT_FILENO, STDERR_FILENO})
        if (sent == mux_io::ok)
            sent = sock.send_fd(fd, deadline);
    if (sent != mux_io::ok)
        fail(a, sock, sent, "reply to the session request", waited);
    mux_reply r;
    if (mux_io got = sock.receive(r, deadline); got != mux_io::ok)
        fail(a, sock, got, "reply to the session request", waited);
    // A refusal would meet ssh's own client the same way.
    if ((r.type == mux_failure || r.type == mux_permission_denied) && r.first == request)
        run_ssh(a, sock, fallback::direct,
                "the master at " + a.socket + " refused the session (" + r.reason + ")", waited);
    if (r.type != mux_session_opened || r.first != request)
        run_ssh(a, sock, fallback::on_master,
                "the master at " + a.socket + " answered the session request with message " + hex(r.type),
                waited);
    if (a.verbose)
        std::fprintf(stderr, "dorv-mux: the session runs on the master at %s\n", a.socket.c_str());
    // The master holds the session's input and output now; ours would keep the other ends
    // from seeing them close.
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, STDIN_FILENO);
    ::dup2(null, STDOUT_FILENO);
    ::close(null);
    // The session runs for as long as the command does: the console's deadline bounds it.
    while (sock.receive(r, mux_deadline::max()) == mux_io::ok)
        if (r.type == mux_exit_message)
            return static_cast<int>(r.second & 0xff);
    return 255;
}
