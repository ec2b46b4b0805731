// Small helpers shared by the unit tests: capturing the trace (standard error) and
// writing throw-away files.
#pragma once

#include <fcntl.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "protocol/exit_causes.h"
#include "protocol/limits.h"

namespace dorv_test {

// Runs f and returns the status of the exit_request it throws, or -1 when it returns.
template <class F> int exit_status_of(F&& f)
{
    try {
        f();
    } catch (const dorv::exit_request& e) {
        return e.status;
    }
    return -1;
}

// Points descriptor 2 at a fresh temporary file for its lifetime, so the trace lines
// written by the code under test can be read back; puts the old descriptor back after.
class stderr_capture {
  public:
    stderr_capture()
    {
        char tmpl[] = "/tmp/dorv-trace-XXXXXX";
        int fd = ::mkstemp(tmpl);
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        path_ = tmpl;
        saved_ = ::dup(STDERR_FILENO);
        ::dup2(fd, STDERR_FILENO);
        ::close(fd);
    }
    ~stderr_capture()
    {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
        ::unlink(path_.c_str());
    }
    stderr_capture(const stderr_capture&) = delete;
    stderr_capture& operator=(const stderr_capture&) = delete;

    std::string text() const
    {
        std::ifstream in(path_, std::ios::binary);
        std::stringstream ss;
        ss << in.rdbuf();
        return ss.str();
    }

  private:
    std::string path_;
    int saved_ = -1;
};

// The whole text of a file ("" when it cannot be read).
inline std::string read_text(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

// A temporary file holding the given bytes, removed again at the end of its life.
class temp_file {
  public:
    explicit temp_file(const std::string& contents)
    {
        char tmpl[] = "/tmp/dorv-file-XXXXXX";
        int fd = ::mkstemp(tmpl);
        if (fd < 0)
            throw std::runtime_error("mkstemp failed");
        ::close(fd);
        path_ = tmpl;
        std::ofstream(path_, std::ios::binary) << contents;
    }
    ~temp_file() { ::unlink(path_.c_str()); }
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

} // namespace dorv_test
