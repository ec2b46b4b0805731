// Runs a system command through the shell and hands its output over line by line.
#pragma once

#include <sys/types.h>

#include <cstdio>
#include <string>
#include <string_view>

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

// "/bin/sh -c command" with its standard output on a pipe (a command of plain words is
// run with "exec", so that no second process stands between the agent and it). The child
// starts with default signal dispositions, LC_ALL=C, standard input on /dev/null (the
// agent's own input is the console's connection) and standard error on the trace log.
// The destructor closes the pipe and reaps the child.
class command_pipe : public line_source {
public:
    explicit command_pipe(const std::string& command);
    ~command_pipe() override;
    command_pipe(const command_pipe&) = delete;
    command_pipe& operator=(const command_pipe&) = delete;

    // False when the command could not be started.
    bool started() const { return out_ != nullptr; }
    bool next(std::string& line) override;

private:
    FILE* out_ = nullptr;
    pid_t pid_ = -1;
};

}  // namespace dorv
