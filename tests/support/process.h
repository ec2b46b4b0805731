// Programs the tests start: a child with its own arguments, environment, directory and
// standard descriptors (on pipes where asked), waited for against a deadline and killed
// and reaped at the latest when the test lets go of it; and what /proc says of a process.
#pragma once

#include <sys/types.h>

#include <array>
#include <chrono>
#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace dorv_test {

// Values of launch::stdio besides a descriptor of the test's own to hand to the child.
inline constexpr int inherit = -1; // the test's own descriptor
inline constexpr int piped = -2;   // a pipe, whose other end the process object keeps

// How a process starts its child.
struct launch {
    std::vector<std::string> argv;
    std::string program;                                    // the program's path; argv[0] when ""
    std::optional<std::vector<std::string>> env;            // "NAME=value" each; the test's own when absent
    std::string cwd;                                        // "" keeps the test's own
    std::array<int, 3> stdio = {inherit, inherit, inherit}; // descriptors 0, 1 and 2
    std::function<void()> in_child;                         // runs in the child just before exec
};

// A running child, started once the constructor returns (its program runs, or it has
// ended with the status below); the destructor closes the pipes, then kills it with SIGKILL and reaps
// it unless it has been reaped before. A child that cannot change to its directory ends
// with status 126, one that cannot be executed with 127.
class process {
  public:
    explicit process(const launch& how);
    ~process();
    process(const process&) = delete;
    process& operator=(const process&) = delete;

    pid_t pid() const { return pid_; }
    // The test's end of the child's descriptor n (0, 1 or 2) where it is piped, else -1.
    int fd(int n) const { return fds_[static_cast<std::size_t>(n)]; }
    void close_fd(int n);

    // Reaps the child if it has ended; true once it has been reaped.
    bool ended();
    // Waits for the child to end and returns its exit status (-signal when killed).
    int wait();
    // The same, killing it with SIGKILL once the timeout has passed.
    int wait_for(std::chrono::milliseconds timeout);
    // Sends sig unless the child has been reaped.
    void signal(int sig) const;
    // Sends sig and waits for the end.
    int stop(int sig);

  private:
    pid_t pid_ = -1;
    std::array<int, 3> fds_ = {-1, -1, -1};
    std::optional<int> status_;
};

// The test's own environment, "NAME=value" each.
std::vector<std::string> own_environment();
// Gives name the value in env, in the place of its first entry where it has one.
void set_variable(std::vector<std::string>& env, const std::string& name, const std::string& value);
// Removes every entry of name from env.
void unset_variable(std::vector<std::string>& env, const std::string& name);

// An exit status from a wait status: the exit code, or -signal when killed.
int exit_status(int wait_status);

// True once the process has ended (a zombie counts as ended), looking every 5 ms for up
// to the given time.
bool ends_soon(pid_t pid, std::chrono::milliseconds within = std::chrono::seconds(5));
bool ends_soon(const std::string& pid, std::chrono::milliseconds within = std::chrono::seconds(5));

// True once /proc shows the process's command line as argv (a child that has not yet
// exec'd shows its parent's), looking every 5 ms for up to the given time.
bool shows_argv(pid_t pid, const std::vector<std::string>& argv,
                std::chrono::milliseconds within = std::chrono::seconds(10));

// The peak resident set size (VmHWM) of a process in kB, -1 when unknown.
long peak_rss_kb(pid_t pid);

} // namespace dorv_test
