// Runs a system command through the shell and hands its output over line by line.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <string_view>

#include "base/child.h"

namespace dorv {

// A source of text lines: a command's output, or a text in tests.
class line_source {
  public:
    virtual ~line_source() = default;
    // Reads the next line, with its line end, into line: at most 16383 characters, a
    // longer line coming in pieces. Returns false at the end of the output.
    virtual bool next(std::string& line) = 0;
};

// The lines of a text held in memory, split the way a command's output is read.
class text_lines : public line_source {
  public:
    explicit text_lines(std::string_view text) : text_(text) {}
    bool next(std::string& line) override;

  private:
    std::string_view text_;
    std::size_t pos_ = 0;
};

// [agent] probe_timeout: seconds a probe command may run, as a leading integer; the
// key's default when absent or not a number of seconds (config/keys.h).
int probe_timeout();

// The connection's output, watched while a probe runs: when its reader is gone the probe
// is killed and the agent ends with status 1. -1 watches nothing.
extern int g_probe_watch_fd;

// "/bin/sh -c command" with its standard output on a pipe (a command of plain words is
// run with "exec", so that no second process stands between the agent and it), in a
// process group of its own. The child starts with default signal dispositions, LC_ALL=C,
// standard input on /dev/null (the agent's own input is the console's connection) and
// standard error on the trace log. Its output is read against a deadline: a command that
// has not ended by then is killed with its whole group, the trace says so, and the output
// ends. Destroying the pipe early kills the group too.
class command_pipe : public line_source {
  public:
    explicit command_pipe(std::string command, int timeout_seconds = probe_timeout());

    // False when the command could not be started.
    bool started() const { return child_.started(); }
    bool next(std::string& line) override;

    // Why the command gave nothing trustworthy, once its output has ended: it could not
    // be started, did not finish by the deadline, or was ended by a signal. Nothing when
    // it ran to its end (whatever its exit status) or its output has not ended yet.
    std::optional<std::string> failure() const { return failure_; }
    // The exit status of a command that ended by itself; nothing before its output has
    // ended, or when it could not be started, was killed or ended by a signal.
    std::optional<int> exit_status() const;
    // The one-line cause for output that holds nothing the check can read, for example
    // cause("printed no sample line"): the failure when there is one, else the command,
    // the text, and a non-zero exit status. The trace gets the line (a failure is traced
    // when it happens).
    std::string cause(const std::string& what) const;
    const std::string& command() const { return command_; }

  private:
    bool fill();
    bool stalled(wait_result w);
    void finish();

    std::string command_;
    int timeout_seconds_;
    deadline_t deadline_;
    child_process child_;
    std::string buffer_;
    std::size_t pos_ = 0;
    bool ended_ = false;
    std::optional<std::string> failure_;
};

} // namespace dorv
