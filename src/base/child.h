// child_process: the owner of a child process that the agent or the console starts and
// waits for (probe commands, plugins, the console's agent and ssh sessions). It starts a
// program on pipes, in a process group of its own where asked, waits for its
// output or its end against a deadline, and kills the whole group with SIGKILL and reaps
// the child at the deadline or when it is destroyed before the child has ended.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "base/fd.h"

namespace dorv {

using deadline_t = std::chrono::steady_clock::time_point;

// How many children can run at once: the table that ends them along with their owner.
inline constexpr int max_running_children = 256;

struct child_setup {
    std::vector<std::string> argv; // argv[0] without a '/' is looked up in PATH
    std::vector<std::string> env;  // the whole environment, "NAME=value" each
    bool own_group = true;         // a process group of its own, killed as a whole
    bool pipe_input = false;       // standard input on a pipe; else /dev/null
    bool pipe_errors = false;      // standard error on a pipe; else the caller's own
    // Time the child is given to end, after SIGTERM, before SIGKILL: a child that owns
    // children of its own (the agent with its probe) ends them on SIGTERM. 0: SIGKILL at once.
    std::chrono::milliseconds grace{0};
};

enum class wait_result {
    ready,      // readable (or hung up), or the child has ended
    timeout,    // the deadline passed
    watch_gone, // the watched output descriptor has lost its reader
};

class child_process {
  public:
    child_process() = default;
    ~child_process();
    child_process(const child_process&) = delete;
    child_process& operator=(const child_process&) = delete;

    // Starts the program. False, with error set, when it cannot be started.
    bool start(const child_setup& setup, std::string& error);
    bool started() const { return pid_ > 0; }
    pid_t pid() const { return pid_; }

    // Our ends of the child's standard input, output and error (empty where not a pipe).
    unique_fd& input() { return in_; }
    unique_fd& output() { return out_; }
    unique_fd& errors() { return err_; }

    // Waits until fd can be read (or has hung up). With watch set, an output descriptor
    // whose reader going away ends the wait.
    static wait_result wait_readable(int fd, deadline_t deadline, int watch = -1);

    // Waits until the child's output, or its error output where that is piped, can be
    // read (or has hung up); reaps the child, and kills what is left of its group, as soon
    // as it ends meanwhile.
    wait_result wait_output(deadline_t deadline, int watch = -1);

    // Waits until the child has ended and reaps it; calls on_also whenever the descriptor
    // `also` holds can be read meanwhile (on_also reads it, and closes it at its end). At
    // the deadline, returns timeout without killing.
    wait_result wait_exit(deadline_t deadline, int watch = -1, const unique_fd* also = nullptr,
                          const std::function<void()>& on_also = {});

    // Reaps the child when it has ended, killing what is left of its group first; true
    // once it is reaped.
    bool try_reap();

    // Asks the child (or its group) with SIGTERM to end, without waiting; a later kill()
    // gives it no further grace.
    void ask_to_end();

    // Kills the child's whole group (or the child alone) with SIGKILL, after SIGTERM and
    // the grace time where one is set, and reaps the child; nothing once it has been
    // reaped. The destructor does this and closes the pipes.
    void kill();

    // The wait status once the child has been reaped.
    std::optional<int> status() const { return status_; }

  private:
    void reap();
    void forget();

    pid_t pid_ = -1;
    bool own_group_ = false;
    std::chrono::milliseconds grace_{0};
    int slot_ = -1;
    unique_fd in_, out_, err_;
    std::optional<int> status_;
};

// Makes SIGTERM, SIGINT and SIGHUP end every running child's group before the process
// ends by that signal, so that no child outlives its owner: SIGKILL, or SIGTERM for a
// child with a grace time, which ends its own children. A signal that comes while a child
// is being started is held until the child is known, and then ends it too.
void end_children_on_signals();

// This process's own environment, for a child that inherits it whole.
std::vector<std::string> inherited_environment();

// The milliseconds left until deadline, for poll(): rounded up, at most a minute, 0 once
// it has passed.
int ms_until(deadline_t deadline);

// Whether pid is a child that a child_process started and has not reaped yet.
bool is_started_child(pid_t pid);

// Waits until ended() is true, asking it again whenever a child of this process may have
// ended; false when the deadline passes first.
bool wait_for_exit(const std::function<bool()>& ended, deadline_t deadline);

// The texts as the null-terminated array of pointers that exec takes; it points into
// texts, which must outlive it.
std::vector<char*> exec_pointers(std::vector<std::string>& texts);

// A one-line account of a wait status: "exit status N" or "signal N (NAME)".
std::string describe_wait_status(int status);

} // namespace dorv
