// Running probe commands.
#include "probes/command.h"

#include <fcntl.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "probes/probe_path.h"
#include "protocol/limits.h"

extern char** environ;

namespace dorv {

bool text_lines::next(std::string& line)
{
    if (pos_ >= text_.size())
        return false;
    std::size_t end = text_.find('\n', pos_);
    end = end == std::string_view::npos ? text_.size() : end + 1;
    end = std::min(end, pos_ + max_text);
    line.assign(text_.substr(pos_, end - pos_));
    pos_ = end;
    // A line is a C text: it ends at a zero byte.
    if (auto nul = line.find('\0'); nul != std::string::npos)
        line.resize(nul);
    return true;
}

namespace {

// The environment of a probe command: the agent's own, with LC_ALL=C so that no locale
// changes the words or the decimal separators that the parsers read, and with a PATH
// that holds no relative element (see probe_path).
std::vector<char*> probe_environment(std::string& path)
{
    static char lc_all[] = "LC_ALL=C";
    path = "PATH=" + probe_path(std::getenv("PATH"));
    std::vector<char*> env;
    for (char** e = environ; e && *e; ++e)
        if (std::strncmp(*e, "LC_ALL=", 7) != 0 && std::strncmp(*e, "PATH=", 5) != 0)
            env.push_back(*e);
    env.push_back(lc_all);
    env.push_back(path.data());
    env.push_back(nullptr);
    return env;
}

// A command of plain words needs the shell only to find the program on PATH: "exec" lets
// the shell become the program instead of starting it as a further process, which saves
// a process start on every check. Anything else runs as the shell would run it.
std::string shell_text(const std::string& command)
{
    for (unsigned char c : command)
        if (!std::isalnum(c) && std::strchr(" -_./,=:+", c) == nullptr)
            return command;
    return "exec " + command;
}

}  // namespace

command_pipe::command_pipe(const std::string& command)
{
    int fds[2];
    if (::pipe2(fds, O_CLOEXEC) != 0)
        return;

    posix_spawn_file_actions_t actions;
    posix_spawnattr_t attr;
    posix_spawn_file_actions_init(&actions);
    posix_spawnattr_init(&attr);
    posix_spawn_file_actions_addopen(&actions, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
    posix_spawn_file_actions_adddup2(&actions, fds[1], STDOUT_FILENO);

    // The agent ignores SIGPIPE; the command must not inherit that.
    sigset_t defaults;
    sigemptyset(&defaults);
    sigaddset(&defaults, SIGPIPE);
    sigset_t none;
    sigemptyset(&none);
    posix_spawnattr_setsigdefault(&attr, &defaults);
    posix_spawnattr_setsigmask(&attr, &none);
    posix_spawnattr_setflags(&attr, POSIX_SPAWN_SETSIGDEF | POSIX_SPAWN_SETSIGMASK);

    std::string path;
    std::vector<char*> env = probe_environment(path);
    char sh[] = "/bin/sh";
    char dash_c[] = "-c";
    std::string cmd = shell_text(command);
    char* argv[] = {sh, dash_c, cmd.data(), nullptr};
    pid_t pid;
    int rc = ::posix_spawn(&pid, "/bin/sh", &actions, &attr, argv, env.data());
    posix_spawn_file_actions_destroy(&actions);
    posix_spawnattr_destroy(&attr);
    ::close(fds[1]);
    if (rc != 0) {
        ::close(fds[0]);
        return;
    }
    pid_ = pid;
    out_ = ::fdopen(fds[0], "r");
    if (!out_)
        ::close(fds[0]);
}

command_pipe::~command_pipe()
{
    if (out_)
        std::fclose(out_);
    if (pid_ > 0) {
        int status;
        while (::waitpid(pid_, &status, 0) < 0 && errno == EINTR) {
        }
    }
}

bool command_pipe::next(std::string& line)
{
    if (!out_)
        return false;
    char buf[max_text + 1];
    if (!std::fgets(buf, sizeof buf, out_))
        return false;
    line.assign(buf, std::strlen(buf));
    return true;
}

}  // namespace dorv
