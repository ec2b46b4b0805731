// Running probe commands.
#include "probes/command.h"

#include <sys/wait.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdlib>
#include <cstring>
#include <vector>

#include "base/exit_causes.h"
#include "base/text_helpers.h"
#include "base/trace.h"
#include "config/keys.h"
#include "probes/probe_path.h"
#include "protocol/limits.h"

namespace dorv {

int g_probe_watch_fd = -1;

namespace {

// Takes the next line of text from pos as a command's output is read: up to and with its
// line feed, at most 16383 characters, ending at a zero byte as a C text does. Without a
// line feed in reach the rest is a line only when the output has ended (or fills a piece).
bool take_line(std::string_view text, std::size_t& pos, bool at_end, std::string& line)
{
    if (pos >= text.size())
        return false;
    std::size_t end = text.find('\n', pos);
    if (end == std::string_view::npos || end - pos >= max_text) {
        if (!at_end && text.size() - pos < max_text)
            return false;
        end = std::min(text.size(), pos + max_text);
    } else {
        end += 1;
    }
    line.assign(text.substr(pos, end - pos));
    pos = end;
    if (auto nul = line.find('\0'); nul != std::string::npos)
        line.resize(nul);
    return true;
}

} // namespace

bool text_lines::next(std::string& line)
{
    return take_line(text_, pos_, true, line);
}

int probe_timeout()
{
    return config_seconds("agent", "probe_timeout");
}

namespace {

// The environment of a probe command: the agent's own, with LC_ALL=C so that no locale
// changes the words or the decimal separators that the parsers read, and with a PATH
// that holds no relative element (see probe_path). Every probe's environment is made here.
std::vector<std::string> probe_environment()
{
    std::vector<std::string> env = inherited_environment();
    std::erase_if(
        env, [](const std::string& e) { return e.rfind("LC_ALL=", 0) == 0 || e.rfind("PATH=", 0) == 0; });
    env.emplace_back("LC_ALL=C");
    env.emplace_back("PATH=" + probe_path(std::getenv("PATH")));
    return env;
}

// A command of plain words needs the shell only to find the program on PATH: "exec" lets
// the shell become the program instead of starting it as a further process, which saves
// a process start on every check. Anything else runs as the shell would run it.
std::string shell_text(const std::string& command)
{
    for (char c : command)
        if (!std::isalnum(static_cast<unsigned char>(c)) && std::strchr(" -_./,=:+", c) == nullptr)
            return command;
    return "exec " + command;
}

} // namespace

command_pipe::command_pipe(std::string command, int timeout_seconds)
    : command_(std::move(command)), timeout_seconds_(timeout_seconds),
      deadline_(std::chrono::steady_clock::now() + std::chrono::seconds(timeout_seconds))
{
    child_setup setup;
    setup.argv = {"/bin/sh", "-c", shell_text(command_)};
    setup.env = probe_environment();
    std::string error;
    if (!child_.start(setup, error)) {
        failure_ = command_ + " could not be started: " + error;
        trace("%s\n", failure_->c_str());
        ended_ = true;
    }
}

bool command_pipe::next(std::string& line)
{
    for (;;) {
        if (take_line(buffer_, pos_, ended_, line))
            return true;
        if (ended_ || !fill()) {
            buffer_.clear();
            pos_ = 0;
            return false;
        }
    }
}

// Acts on a wait that did not end with the command: at the deadline the command's group
// is killed (true); a console gone ends the agent, the destructor killing the group.
bool command_pipe::stalled(wait_result w)
{
    if (w == wait_result::watch_gone) {
        trace("connection closed while %s was running\n", command_.c_str());
        end_agent(exit_connection_closed);
    }
    if (w != wait_result::timeout)
        return false;
    child_.kill();
    failure_ = command_ + " did not finish within " + std::to_string(timeout_seconds_) + " s";
    trace("%s\n", failure_->c_str());
    return true;
}

// Reads what the command has written; false once its output has ended.
bool command_pipe::fill()
{
    if (pos_ > 0) {
        buffer_.erase(0, pos_);
        pos_ = 0;
    }
    unique_fd& out = child_.output();
    for (;;) {
        if (stalled(child_.wait_output(deadline_, g_probe_watch_fd))) {
            ended_ = true;
            return !buffer_.empty();
        }
        char chunk[4096];
        ssize_t n = ::read(out.get(), chunk, sizeof chunk);
        if (n < 0 && errno == EINTR)
            continue;
        if (n > 0) {
            buffer_.append(chunk, static_cast<std::size_t>(n));
            return true;
        }
        finish();
        return !buffer_.empty();
    }
}

// The output has ended: the command must end too, by the same deadline.
void command_pipe::finish()
{
    ended_ = true;
    child_.output().reset();
    if (stalled(child_.wait_exit(deadline_, g_probe_watch_fd)))
        return;
    if (std::optional<int> st = child_.status(); st && WIFSIGNALED(*st)) {
        failure_ = command_ + " was ended by " + describe_wait_status(*st);
        trace("%s\n", failure_->c_str());
    }
}

std::optional<int> command_pipe::exit_status() const
{
    std::optional<int> st = child_.status();
    if (failure_ || !st || !WIFEXITED(*st))
        return std::nullopt;
    return WEXITSTATUS(*st);
}

std::string command_pipe::cause(const std::string& what) const
{
    if (failure_)
        return *failure_;
    std::string text = command_ + " " + what;
    if (std::optional<int> st = child_.status(); st && WIFEXITED(*st) && WEXITSTATUS(*st) != 0)
        text +=
            " (" + describe_wait_status(*st) + (WEXITSTATUS(*st) == 127 ? ": command not found" : "") + ")";
    trace("%s\n", text.c_str());
    return text;
}

} // namespace dorv
