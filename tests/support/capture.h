// What the code under test says on its way out: the trace lines it writes to standard
// error, and the exit status it asks for by throwing an exit_request.
#pragma once

#include <string>

#include "base/exit_causes.h"

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
    stderr_capture();
    ~stderr_capture();
    stderr_capture(const stderr_capture&) = delete;
    stderr_capture& operator=(const stderr_capture&) = delete;

    std::string text() const;

  private:
    std::string path_;
    int saved_ = -1;
};

} // namespace dorv_test
