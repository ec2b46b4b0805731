// The agent process at the other end, as its transport runs it, with pipes on its
// standard input, output and error, started and ended by the shared child_process.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <cstdio>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "base/child.h"
#include "console/transport/reader.h"
#include "console/transport/transport.h"
#include "protocol/param_array.h"

namespace dorv {

enum class io_result {
    ok,
    ended,   // the agent closed its output (or its input) before a whole packet
    timeout, // the deadline passed; the process has been killed
    bad,     // the output is not a packet
};

class agent_connection {
  public:
    agent_connection() = default;
    agent_connection(const agent_connection&) = delete;
    agent_connection& operator=(const agent_connection&) = delete;

    // Starts the process. False, with error set, when it cannot be started.
    bool start(const transport& how, std::string& error);
    // Writes the whole packet to the agent's input.
    io_result send(const std::string& packet);
    // Reads until one whole packet has arrived; error says why when the result is bad.
    io_result receive(param_array& pairs, std::string& text, deadline_t deadline, std::string& error);
    // Closes the agent's input and waits for the process to end, killing it at the deadline.
    // Returns the wait status.
    int finish(deadline_t deadline);
    // Kills the process (the local agent with its whole group) at once and reaps it.
    void kill();

    // The wait status once the process has ended.
    std::optional<int> wait_status() const { return child_.status(); }
    // The last non-empty line the process wrote to its standard error that is not the
    // transport's noise ("" when none).
    std::string stderr_tail() const;
    // From now on also writes each line the process writes to its standard error to `to`,
    // made safe for a terminal: what ssh and dorv-mux say about the connection.
    void echo_errors(std::FILE* to) { echo_ = to; }
    // Bytes received that do not yet make a whole packet.
    std::size_t pending_bytes() const { return reader_.pending().size(); }

  private:
    void read_stderr();
    void echo(std::string_view chunk, bool ended);
    bool reap(deadline_t deadline);

    child_process child_;
    packet_reader reader_;
    std::string stderr_;
    noise_filter noise_ = nullptr;
    std::FILE* echo_ = nullptr;
    std::string echo_line_; // the start of a line not yet echoed
};

} // namespace dorv
