// The helper's end of an ssh master's control socket: connecting, writing, passing
// descriptors and reading the master's messages, each bounded by a deadline, so that a
// master that greets and then never answers costs no more than the wait it was given.
#pragma once

#include <chrono>
#include <string>

#include "base/fd.h"
#include "mux/mux_message.h"

namespace dorv {

using mux_deadline = std::chrono::steady_clock::time_point;

enum class mux_io {
    ok,
    ended,   // the master closed the connection, or it broke
    timeout, // the deadline passed first
    bad,     // the master's bytes are not a message, or no connection could be made
};

class mux_socket {
  public:
    // Connects to the master at path. A socket whose master accepts nothing (its
    // backlog is full) gives timeout at once; why says what failed.
    mux_io connect(const std::string& path, std::string& why);
    // Writes all of bytes.
    mux_io send(const std::string& bytes, mux_deadline deadline);
    // Passes descriptor fd, with the one byte the master reads with it.
    mux_io send_fd(int fd, mux_deadline deadline);
    // The master's next message.
    mux_io receive(mux_reply& reply, mux_deadline deadline);
    void close() { fd_.reset(); }

  private:
    // Waits until the socket is ready for events, or the deadline.
    mux_io wait(short events, mux_deadline deadline) const;

    unique_fd fd_;
    std::string buffer_;
};

} // namespace dorv
