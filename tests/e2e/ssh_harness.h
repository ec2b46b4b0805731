// A private sshd on 127.0.0.1 for one test (scripts/sshd-for-tests.sh): it runs the agent
// for a command= restricted key inside a mount namespace that gives it its own
// /etc/dorv/dorv.ini, and the consoles run over it keep their ssh masters in a directory of
// its own, which it ends before sshd. Needs root.
#pragma once

#include <sys/types.h>

#include <optional>
#include <string>
#include <vector>

#include "e2e/console_harness.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace dorv_test {

// A TCP port of 127.0.0.1 that nothing listens on just now; -1 when none can be had.
int free_port();

class test_sshd {
  public:
    // Why sshd cannot run here, or "" when it can.
    static std::string unavailable();

    // config: the [firewall] part of the agent's dorv.ini; forced: the command= of the key
    // ("" for an unrestricted key); sshd_lines: more lines for sshd_config.
    test_sshd(const std::string& config, const std::string& forced, const std::string& sshd_lines = "");
    // Ends the masters the consoles left (they hold connections to sshd), then sshd.
    ~test_sshd();
    test_sshd(const test_sshd&) = delete;
    test_sshd& operator=(const test_sshd&) = delete;

    const std::string& failure() const { return failure_; }
    std::string trace() const;
    // SSH connections sshd has accepted so far (one log-in each).
    int connections() const;
    // The consoles' control sockets: their XDG_RUNTIME_DIR is this sshd's own.
    // The client configuration, for the host "dorv-test".
    std::string ssh_config() const { return dir_.path("ssh_config"); }
    std::string control_dir() const { return dir_.path("run/dorv-console"); }
    std::vector<std::string> control_sockets() const;

    // dorv-console over this sshd (timeout 20 s unless args say otherwise).
    console_result console(const std::vector<std::string>& args) const;
    // dorv-console with args alone, its control sockets in this sshd's directory.
    console_result console_only(const std::vector<std::string>& args) const;
    // The launch of that console, for a test that runs it itself.
    launch console_launch(const std::vector<std::string>& args) const;

    // ssh -S socket -O command: its exit status (killed after 10 s, should the master hang),
    // and what it said on standard error.
    static int ssh_control(const std::string& socket, const std::string& command,
                           std::string* said = nullptr);
    // The pid of the master on socket, -1 when none answers.
    static pid_t master_pid(const std::string& socket);

  private:
    std::vector<std::string> console_args(const std::vector<std::string>& args) const;

    temp_dir dir_; // goes once sshd has ended
    int port_ = -1;
    std::optional<process> sshd_;
    std::string failure_;
};

} // namespace dorv_test

#define START_SSHD(name, ...)                                                                                \
    if (std::string why = dorv_test::test_sshd::unavailable(); !why.empty())                                 \
        GTEST_SKIP() << why;                                                                                 \
    dorv_test::test_sshd name(__VA_ARGS__);                                                                  \
    ASSERT_EQ(name.failure(), "")
