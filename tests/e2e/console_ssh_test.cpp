// dorv-console over real SSH: a private sshd on 127.0.0.1 (scripts/sshd-for-tests.sh) runs
// the agent for a command= restricted key, inside a mount namespace that gives it its own
// /etc/dorv/dorv.ini. Needs root; skipped, with the reason, elsewhere.
#include <sys/stat.h>

#include <chrono>
#include <gtest/gtest.h>
#include <iostream>
#include <sstream>

#include "checks/built_in.h"
#include "e2e/agent_harness.h"
#include "e2e/console_harness.h"
#include "e2e/ssh_harness.h"
#include "support/fake_command.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

// A check answered through sshd; the agent saw SSH_CLIENT: its trace names 127.0.0.1 for
// this very session.
TEST(ConsoleSsh, CheckAnsweredOverSshWithClientAddressInTrace)
{
    struct stat st;
    const bool had_etc_dorv = ::stat("/etc/dorv", &st) == 0;
    START_SSHD(sshd, "", DORV_AGENT);
    console_result r = sshd.console({"--verbose", "run", "CPU", "200", "+", "run", "Processes", "dorv"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_NE(r.out.find("CPU        up       CPU load is "), std::string::npos) << r.out;
    EXPECT_NE(r.out.find("Processes  up       Process dorv is running"), std::string::npos) << r.out;

    const std::string login_mark = "dorv-console: < #keycount=2#responseaction=login#sessionid=";
    auto at = r.err.find(login_mark);
    ASSERT_NE(at, std::string::npos) << r.err;
    std::string id = r.err.substr(at + login_mark.size(), 36);
    EXPECT_NE(sshd.trace().find("Accepted new connection for user " + user_name() +
                                " from IP 127.0.0.1\n> #keycount=2#responseaction=login#sessionid=" + id +
                                "#\n"),
              std::string::npos)
        << sshd.trace();
    // The private dorv.ini was bound in sshd's namespace only: the host's /etc is as it was.
    EXPECT_EQ(::stat("/etc/dorv", &st) == 0, had_etc_dorv);
}

TEST(ConsoleSsh, FirewallRangeAdmitsLoopback)
{
    START_SSHD(sshd, "[firewall]\n" + user_name() + "=127.0.0.0-127.0.0.255\n", DORV_AGENT);
    console_result r = sshd.console({"--format", "plugin", "run", "DiskSpace", "0", "/"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out.rfind("DiskSpace OK - Disk / is ", 0), 0u) << r.out;
    EXPECT_NE(r.out.find("% used | '/'="), std::string::npos) << r.out;
}

TEST(ConsoleSsh, FirewallRangeRejectsLoopbackWithAgentStatusOne)
{
    START_SSHD(sshd, "[firewall]\n" + user_name() + "=10.0.0.0-10.255.255.255\n", DORV_AGENT);
    console_result r = sshd.console({"--format", "plugin", "run", "CPU", "80"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out,
              "CPU UNKNOWN - the agent on dorv-test rejected this connection (agent exit status 1): the "
              "client address is outside the [firewall] range of its configuration\n");
    EXPECT_NE(
        sshd.trace().find("Rejected IP address 127.0.0.1: not in allowed range 10.0.0.0-10.255.255.255\n"),
        std::string::npos)
        << sshd.trace();
}

// With an unrestricted key the console's remote command is what runs: a missing one is
// ssh's status 127, the agent's path answers every check.
TEST(ConsoleSsh, RemoteCommandMissingOrGiven)
{
    START_SSHD(sshd, "", "");
    console_result missing = sshd.console({"--remote-command", "/nonexistent/dorv", "list"});
    EXPECT_EQ(missing.status, 3);
    EXPECT_EQ(
        missing.err.rfind("dorv-console: no agent on dorv-test: the remote command \"/nonexistent/dorv\" was "
                          "not found (ssh exit status 127): ",
                          0),
        0u)
        << missing.err;
    EXPECT_NE(missing.err.find("/nonexistent/dorv"), std::string::npos);

    console_result all = sshd.console({"--remote-command", DORV_AGENT, "--format", "plugin", "run-all"});
    EXPECT_TRUE(all.status == 0 || all.status == 2) << all.err;
    for (const dorv::check_t* row = dorv::checks; row->name; ++row) {
        const std::string check = std::string(row->name) + " ";
        EXPECT_EQ(count_of(all.out, "\n" + check) + (all.out.rfind(check, 0) == 0), 1) << check << "\n"
                                                                                       << all.out;
    }
    EXPECT_EQ(count_of(sshd.trace(), "Accepted new connection"), 1);
}

// Timed-out checks over SSH leave nothing on the host: the console kills ssh, sshd closes
// the agent's output, and the agent ends its hung probe and itself. The deadline leaves
// room for the SSH handshake on a loaded host, so that every check reaches its probe.
TEST(ConsoleSsh, TimedOutChecksLeaveNoProcessBehind)
{
    const temp_dir scripts;
    const std::string& bin = scripts.dir();
    write_script(bin + "/vmstat", "echo $$ $PPID >> '" + bin + "/pids'\nexec sleep 100\n");
    START_SSHD(sshd, "probe_timeout=60\n", "PATH=" + bin + ":/usr/bin:/bin " + DORV_AGENT);
    // Each check's deadline leaves a loaded host time for its login, and then ends a probe
    // that hangs.
    for (int i = 0; i < 10; ++i) {
        console_result r = sshd.console({"--timeout", "4", "--format", "plugin", "run", "CPU", "80"});
        EXPECT_EQ(r.status, 3) << r.out << r.err;
    }
    std::vector<std::string> pids;
    std::istringstream in(read_file(bin + "/pids"));
    for (std::string p; in >> p;)
        pids.push_back(p);
    // A probe and its agent for each check that got as far as its probe. On a loaded host
    // a handshake can outlast the deadline, and that check ends before its agent starts.
    EXPECT_EQ(pids.size() % 2, 0u);
    EXPECT_GE(pids.size(), 2u);
    int left = 0;
    for (const auto& pid : pids)
        left += !ends_soon(pid, std::chrono::seconds(2));
    std::cout << "processes left after 10 timed-out SSH checks: " << left << "\n";
    EXPECT_EQ(left, 0);
}

// Checks of the administrator's own, configured in the agent's dorv.ini on the far side:
// the plugin's warning state, its text and its performance data arrive over SSH.
TEST(ConsoleSsh, ConfiguredChecksAnsweredOverSsh)
{
    const std::string plugins = "/usr/lib/nagios/plugins/";
    if (::access((plugins + "check_users").c_str(), X_OK) != 0)
        GTEST_SKIP() << "monitoring-plugins-basic is not installed";
    START_SSHD(sshd,
               "[check:Dummy]\ncommand=" + plugins + "check_dummy 1 'over ssh'\n[check:Users]\ncommand=" +
                   plugins + "check_users -w 1000 -c {Critical}\nnumber=Critical\n",
               DORV_AGENT);
    console_result r = sshd.console({"--format", "plugin", "run", "Dummy", "+", "run", "Users", "100000"});
    EXPECT_EQ(r.status, 1) << r.out << r.err;
    EXPECT_EQ(r.out.rfind("DORV WARNING - 2 checks: 1 WARNING (Dummy), 1 OK | users=", 0), 0u) << r.out;
    EXPECT_NE(r.out.find(";1000;100000;0\nDummy WARNING - WARNING: over ssh\nUsers OK - USERS OK - "),
              std::string::npos)
        << r.out;
    EXPECT_EQ(count_of(sshd.trace(), "Accepted new connection"), 1);
}
