// ssh connection reuse: the control directory, the socket's name, the stale-master probe.
#include "console/transport/ssh_reuse.h"

#include <fcntl.h>
#include <poll.h>
#include <pwd.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "base/fail.h"
#include "console/companions/companion.h"

namespace dorv {

namespace {

// sun_path holds 108 bytes with its terminator; ssh binds a temporary name of the socket's
// path plus '.' and 16 characters first, then links it into place.
constexpr std::size_t socket_path_max = 107;
constexpr std::size_t ssh_temp_suffix = 17;
constexpr std::size_t name_length = 16;
// Bounds on waiting for a master: its greeting, and the opening of a session on it. The
// latter is half the time left: a live master that is merely slow (a loaded host) taken
// for a dead one would cost a fresh log-in, which is slower still.
constexpr auto probe_limit = std::chrono::seconds(2);
constexpr auto session_limit = std::chrono::seconds(5);
constexpr auto session_floor = std::chrono::milliseconds(200);
// ssh's keepalives on a master: a probe after 10 s without a word from the server, and
// the connection given up after three unanswered ones.
constexpr int keepalive_interval = 10;
constexpr int keepalive_count = 3;

std::string env_dir(const char* name)
{
    const char* v = std::getenv(name);
    return v && v[0] == '/' ? v : "";
}

// Makes each missing directory of path with mode 0700.
void make_dirs(const std::string& path)
{
    for (std::size_t slash = path.find('/', 1);; slash = path.find('/', slash + 1)) {
        ::mkdir(path.substr(0, slash).c_str(), 0700);
        if (slash == std::string::npos)
            return;
    }
}

// The permission bits as chmod takes them: "755".
std::string octal_mode(mode_t mode)
{
    char text[8];
    std::snprintf(text, sizeof text, "%03o", static_cast<unsigned>(mode & 07777));
    return text;
}

// Whether dir is a usable control directory; why says why not.
bool usable(const std::string& dir, std::string& why)
{
    // ssh expands '%' and '~' in a ControlPath and splits it at blanks and quotes.
    if (dir.find_first_of("%~ \t\"'\\") != std::string::npos)
        return fail(why, dir + " holds a character that ssh would expand");
    if (dir.size() + 1 + name_length + ssh_temp_suffix > socket_path_max)
        return fail(why, dir + " is too long for a socket path");
    make_dirs(dir);
    struct stat st;
    if (::lstat(dir.c_str(), &st) != 0)
        return fail(why, "cannot make " + dir + ": " + std::strerror(errno));
    if (!S_ISDIR(st.st_mode))
        return fail(why, dir + " is not a directory");
    if (st.st_uid != ::geteuid())
        return fail(why, dir + " belongs to another user");
    if ((st.st_mode & 077) != 0)
        return fail(why,
                    dir + " can be entered by other users (mode " + octal_mode(st.st_mode) + ", not 700)");
    return true;
}

} // namespace

std::vector<std::string> control_candidates()
{
    std::vector<std::string> dirs;
    if (std::string run = env_dir("XDG_RUNTIME_DIR"); !run.empty())
        dirs.push_back(run + "/dorv-console");
    if (std::string cache = env_dir("XDG_CACHE_HOME"); !cache.empty())
        dirs.push_back(cache + "/dorv-console/ssh");
    else if (std::string home = env_dir("HOME"); !home.empty())
        dirs.push_back(home + "/.cache/dorv-console/ssh");
    // A scheduler may start plugins with the HOME of the user it was started as.
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        if (std::string own = std::string(pw->pw_dir) + "/.cache/dorv-console/ssh";
            std::find(dirs.begin(), dirs.end(), own) == dirs.end())
            dirs.push_back(own);
    return dirs;
}

namespace {

bool starts_with_ci(std::string_view s, std::string_view prefix)
{
    if (s.size() < prefix.size())
        return false;
    for (std::size_t i = 0; i < prefix.size(); ++i)
        if (std::tolower(static_cast<unsigned char>(s[i])) !=
            std::tolower(static_cast<unsigned char>(prefix[i])))
            return false;
    return true;
}

// -M, or -S or -O, in a word of short options ("-MN", "-vS path"); the letters after one
// that takes a value are that value.
bool short_flags_multiplex(std::string_view word)
{
    if (word.size() < 2 || word[0] != '-' || word[1] == '-')
        return false;
    for (char c : word.substr(1)) {
        if (c == 'M' || c == 'S' || c == 'O')
            return true;
        if (std::string_view("BbcDEeFIiJLlmoPpQRWw").find(c) != std::string_view::npos)
            return false;
    }
    return false;
}

} // namespace

std::optional<std::string> control_directory(const std::vector<std::string>& candidates, std::string& why)
{
    why = "no home directory";
    for (const std::string& dir : candidates) {
        if (usable(dir, why))
            return dir;
    }
    return std::nullopt;
}

std::string control_socket_name(const std::vector<std::string>& ssh_argv)
{
    // FNV-1a, 64 bits; each argument ends with a NUL so that ("ab","c") and ("a","bc") differ.
    std::uint64_t h = 14695981039346656037ULL;
    for (const std::string& a : ssh_argv)
        for (std::size_t i = 0; i <= a.size(); ++i) {
            h ^= i < a.size() ? static_cast<unsigned char>(a[i]) : 0u;
            h *= 1099511628211ULL;
        }
    static const char hex[] = "0123456789abcdef";
    std::string name(name_length, '0');
    for (std::size_t i = 0; i < name_length; ++i)
        name[i] = hex[(h >> (4 * (name_length - 1 - i))) & 0xf];
    return name;
}

bool user_multiplexes(const std::vector<std::string>& ssh_options)
{
    for (std::size_t i = 0; i < ssh_options.size(); ++i) {
        std::string_view o = ssh_options[i];
        if (short_flags_multiplex(o))
            return true;
        std::string_view setting = o.rfind("-o", 0) == 0 ? o.substr(2) : std::string_view{};
        if (o == "-o" && i + 1 < ssh_options.size())
            setting = ssh_options[++i];
        if (starts_with_ci(setting, "Control"))
            return true;
    }
    return false;
}

master_state probe_master(const std::string& path, std::chrono::steady_clock::time_point bound)
{
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    if (path.size() >= sizeof addr.sun_path)
        return master_state::none;
    std::memcpy(addr.sun_path, path.c_str(), path.size() + 1);
    int fd = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
    if (fd < 0)
        return master_state::none;
    int r = ::connect(fd, reinterpret_cast<const sockaddr*>(&addr), sizeof addr);
    if (r != 0 && errno == ENOENT) {
        ::close(fd);
        return master_state::none;
    }
    bool greeted = false;
    if (r == 0 || errno == EINPROGRESS || errno == EAGAIN) {
        // A live master writes its hello to every client as soon as it accepts it.
        for (;;) {
            auto left = std::chrono::duration_cast<std::chrono::milliseconds>(
                bound - std::chrono::steady_clock::now());
            pollfd p{fd, POLLIN, 0};
            int n = ::poll(&p, 1, static_cast<int>(std::max<long long>(left.count(), 0)));
            if (n < 0 && errno == EINTR)
                continue;
            greeted = n > 0 && (p.revents & POLLIN) && !(p.revents & POLLERR);
            break;
        }
    }
    ::close(fd);
    if (greeted)
        return master_state::alive;
    ::unlink(path.c_str());
    return master_state::removed;
}

reuse_plan plan_reuse(const std::vector<std::string>& ssh_argv, const std::string& remote_command,
                      const reuse_settings& reuse, std::string& note)
{
    reuse_plan plan;
    if (reuse.seconds <= 0 || ssh_argv.size() < 2)
        return plan;
    auto dashes = std::find(ssh_argv.begin(), ssh_argv.end(), "--");
    if (dashes == ssh_argv.end() || user_multiplexes(std::vector<std::string>(ssh_argv.begin() + 1, dashes)))
        return plan;
    std::optional<std::string> dir = control_directory(control_candidates(), note);
    if (!dir) {
        note = "no connection reuse: " + note;
        return plan;
    }
    std::string path = *dir + "/" + control_socket_name(ssh_argv);
    auto now = std::chrono::steady_clock::now();
    auto left = reuse.deadline - now;
    master_state state =
        probe_master(path, now + std::min<std::chrono::steady_clock::duration>(left / 4, probe_limit));
    if (state == master_state::removed)
        note = "removed a control socket whose master did not answer: " + path;
    plan.first = {"-oControlMaster=auto", "-oControlPath=" + path,
                  "-oControlPersist=" + std::to_string(reuse.seconds)};
    // Keepalives end a master whose connection has silently died within about 40 s; they
    // go after the user's options, which ssh lets win.
    plan.last = {"-oServerAliveInterval=" + std::to_string(keepalive_interval),
                 "-oServerAliveCountMax=" + std::to_string(keepalive_count)};
    if (state != master_state::alive)
        return plan;
    // A live master: the session is opened on it without starting ssh. The helper falls
    // back on the ssh command that follows it, and gives the master a share of the time
    // left to open the session.
    std::optional<std::string> helper = companion_program("dorv-mux");
    if (!helper) {
        note = "dorv-mux is not installed: ssh opens the session on the master at " + path;
        return plan;
    }
    auto wait =
        std::chrono::duration_cast<std::chrono::milliseconds>(std::min<std::chrono::steady_clock::duration>(
            std::max<std::chrono::steady_clock::duration>(left / 2, session_floor), session_limit));
    plan.helper = {*helper};
    if (reuse.verbose)
        plan.helper.push_back("--verbose");
    plan.helper.insert(plan.helper.end(),
                       {"--wait", std::to_string(wait.count()), path, remote_command, "--"});
    return plan;
}

bool ssh_mux_noise(std::string_view line)
{
    for (std::string_view mark : {"mux_client_", "muxclient", "mux_master_", "Control socket",
                                  "ControlSocket", "control_persist", "ControlPath", "multiplexing protocol"})
        if (line.find(mark) != std::string_view::npos)
            return true;
    return false;
}

} // namespace dorv
