// ssh connection reuse over a real loopback sshd: one master per destination, riding on it
// (through dorv-mux) costs no new TCP connection, a dead or silent master costs no check
// its answer, a master of another protocol version is left to ssh's own client, a session
// that sshd's MaxSessions refuses goes direct, and the master, in a session of its own,
// outlives a check whose whole process group a scheduler kills.
#include <signal.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <chrono>
#include <cstring>
#include <fstream>
#include <gtest/gtest.h>
#include <sstream>
#include <thread>

#include "e2e/console_harness.h"
#include "e2e/fake_mux_master.h"
#include "e2e/ssh_harness.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

// A vmstat for the agent: it notes the agent's pid in DIR/agents, waits while DIR/hold
// exists and until DIR/agents has `together` lines (so that that many checks overlap), then
// prints one sample of 9 % user and 6 % system time.
std::string fake_vmstat(const std::string& dir, int together)
{
    const std::string agents = dir + "/agents";
    write_script(
        dir + "/vmstat",
        "echo $PPID >>'" + agents + "'\n" + "i=0\nwhile [ -e '" + dir + "/hold' ] || [ $(wc -l <'" + agents +
            "') -lt " + std::to_string(together) +
            " ]; do\n  i=$((i+1)); [ $i -gt 600 ] && exit 1; sleep 0.05\ndone\n"
            "echo 'procs -----------memory---------- ---swap-- -----io---- -system-- ------cpu-----'\n"
            "echo ' r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st'\n"
            "echo ' 1  0      0 22059276   7788 1509408    0    0   840  1429  310 1121 47 10 42  0  0'\n"
            "echo ' 0  0      0 22059276   7788 1509408    0    0     8     0  602  656  9  6 85  0  0'\n");
    return "PATH=" + dir + ":/usr/bin:/bin " + DORV_AGENT;
}

std::vector<std::string> lines_of(const std::string& path)
{
    std::vector<std::string> out;
    std::istringstream in(read_file(path));
    for (std::string l; std::getline(in, l);)
        out.push_back(l);
    return out;
}

// Waits (20 s at most) until path has n lines.
bool has_lines(const std::string& path, std::size_t n)
{
    auto until = std::chrono::steady_clock::now() + std::chrono::seconds(20);
    while (lines_of(path).size() < n && std::chrono::steady_clock::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
    return lines_of(path).size() >= n;
}

const std::vector<std::string> cpu = {"--format", "plugin", "run", "CPU", "-c", "90"};
const std::string cpu_ok = "CPU OK - CPU load is 15 | 'cpu_load'=15%;;90;0;100\n";

std::vector<std::string> with(std::vector<std::string> first, const std::vector<std::string>& then)
{
    first.insert(first.end(), then.begin(), then.end());
    return first;
}

// The control socket path of sshd's checks, its master killed and the path free: ""
// when that fails.
std::string socket_without_master(const test_sshd& sshd)
{
    if (sshd.console(cpu).status != 0 || sshd.control_sockets().size() != 1)
        return "";
    const std::string socket = sshd.control_sockets()[0];
    pid_t master = test_sshd::master_pid(socket);
    if (master <= 0 || ::kill(master, SIGKILL) != 0 || !ends_soon(master, std::chrono::seconds(5)))
        return "";
    ::unlink(socket.c_str());
    return socket;
}

} // namespace

TEST(ConsoleReuse, ChecksRideOneConnectionUnlessReuseIsZero)
{
    const temp_dir bin;
    START_SSHD(sshd, "", fake_vmstat(bin.dir(), 1));
    for (int i = 0; i < 3; ++i) {
        console_result r = sshd.console(cpu);
        EXPECT_EQ(r.status, 0) << r.err;
        EXPECT_EQ(r.out, cpu_ok);
        EXPECT_EQ(r.err, "");
    }
    ASSERT_EQ(sshd.control_sockets().size(), 1u);
    // The helper carried the session, not ssh.
    console_result shown = sshd.console(with({"--verbose"}, cpu));
    EXPECT_NE(
        shown.err.find("dorv-mux: the session runs on the master at " + sshd.control_sockets()[0] + "\n"),
        std::string::npos)
        << shown.err;
    EXPECT_EQ(sshd.connections(), 1);
    pid_t master = test_sshd::master_pid(sshd.control_sockets()[0]);
    ASSERT_GT(master, 0);
    // A session of its own: a signal to the console's group or session never reaches it.
    EXPECT_NE(::getsid(master), ::getsid(0));
    EXPECT_EQ(count_of(sshd.trace(), "Accepted new connection"), 4);

    for (int i = 0; i < 2; ++i)
        EXPECT_EQ(sshd.console({"--reuse", "0", "--format", "plugin", "run", "CPU", "90"}).status, 0);
    EXPECT_EQ(sshd.connections(), 3);
    EXPECT_EQ(test_sshd::master_pid(sshd.control_sockets()[0]), master);
    // Every agent has ended; only the master remains.
    for (const std::string& agent : lines_of(bin.path("agents")))
        EXPECT_TRUE(ends_soon(agent, std::chrono::seconds(5))) << agent;
}

// The next check answers within its deadline whether the master was killed or its socket
// is one that accepts connections and never answers; ssh's own words stay out of it.
TEST(ConsoleReuse, DeadOrSilentMasterIsReplaced)
{
    const temp_dir bin;
    START_SSHD(sshd, "", fake_vmstat(bin.dir(), 1));
    ASSERT_EQ(sshd.console(cpu).status, 0);
    ASSERT_EQ(sshd.control_sockets().size(), 1u);
    const std::string socket = sshd.control_sockets()[0];
    pid_t first = test_sshd::master_pid(socket);
    ASSERT_GT(first, 0);
    ::kill(first, SIGKILL);
    ASSERT_TRUE(ends_soon(first, std::chrono::seconds(5)));

    console_result after_kill =
        sshd.console({"--timeout", "30", "--format", "plugin", "run", "CPU", "-c", "90"});
    EXPECT_EQ(after_kill.status, 0) << after_kill.out << after_kill.err;
    EXPECT_EQ(after_kill.out, cpu_ok);
    EXPECT_EQ(after_kill.err, "");
    pid_t second = test_sshd::master_pid(socket);
    ASSERT_GT(second, 0);
    EXPECT_NE(second, first);
    ::kill(second, SIGKILL);
    ASSERT_TRUE(ends_soon(second, std::chrono::seconds(5)));

    // A socket that is bound and listening, whose connections nobody ever accepts.
    ::unlink(socket.c_str());
    int silent = ::socket(AF_UNIX, SOCK_STREAM | SOCK_CLOEXEC, 0);
    sockaddr_un addr{};
    addr.sun_family = AF_UNIX;
    std::memcpy(addr.sun_path, socket.c_str(), socket.size() + 1);
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&addr), sizeof addr), 0) << std::strerror(errno);
    ASSERT_EQ(::listen(silent, 8), 0);
    // The silent socket costs the check its greeting's share of the deadline (2 s at most),
    // not the deadline: the fresh log-in after it has the rest, which load cannot use up.
    console_result after_silent =
        sshd.console({"--timeout", "30", "--format", "plugin", "run", "CPU", "-c", "90"});
    ::close(silent);
    EXPECT_EQ(after_silent.status, 0) << after_silent.out << after_silent.err;
    EXPECT_EQ(after_silent.out, cpu_ok);
    EXPECT_EQ(after_silent.err, "");
    EXPECT_GT(test_sshd::master_pid(socket), 0);
    EXPECT_EQ(sshd.connections(), 3);
}

// Masters that greet and then never answer. One that speaks this protocol is taken for one
// whose TCP connection has silently died: the check waits half its time (5 s at most) for the
// session, then removes the socket, connects afresh and becomes the new master. One that
// speaks another version is asked again by ssh's own client (the helper leaves it before a
// word), which knows the installed ssh's version; the check answers directly.
TEST(ConsoleReuse, MasterThatOpensNoSessionCostsAShareOfTheDeadline)
{
    struct row {
        std::uint32_t version;
        std::string said; // by dorv-mux under --verbose
        bool replaced;    // a new master on the socket
    };
    const std::vector<row> rows = {
        {4,
         " sent no reply to the session request within 5.0 s: ssh connects afresh and becomes the master\n",
         true},
        {5,
         "dorv-mux: the master speaks multiplexing protocol version 5, this helper version 4: ssh opens the "
         "session on the master\n",
         false},
    };
    const temp_dir bin;
    START_SSHD(sshd, "", fake_vmstat(bin.dir(), 1));
    for (const row& r : rows) {
        const std::string socket = socket_without_master(sshd);
        ASSERT_NE(socket, "");
        console_result check;
        {
            fake_mux_master master(socket, r.version);
            ASSERT_TRUE(master.listening());
            // A deadline of 40 s gives the session the most a check gives it, 5 s, and the
            // fresh connection a margin that load cannot reach.
            check = sshd.console(with({"--verbose", "--timeout", "40"}, cpu));
            master.stop();
            EXPECT_EQ(master.clients_heard(), 1) << r.version;
        }
        EXPECT_EQ(check.status, 0) << check.err;
        EXPECT_EQ(check.out, cpu_ok);
        EXPECT_LT(check.seconds, 40);
        EXPECT_NE(check.err.find(r.said), std::string::npos) << check.err;
        EXPECT_EQ(test_sshd::master_pid(socket) > 0, r.replaced) << r.version;
    }
}

// Five checks at once against MaxSessions 2: the sessions the master cannot open go direct,
// and all five answer without a word from ssh.
TEST(ConsoleReuse, SessionsRefusedByMaxSessionsGoDirect)
{
    const temp_dir bin;
    START_SSHD(sshd, "", fake_vmstat(bin.dir(), 5), "MaxSessions 2");
    console_result first = sshd.console({"--format", "plugin", "run", "Processes", "dorv"});
    ASSERT_EQ(first.status, 0) << first.out << first.err;
    ASSERT_EQ(sshd.connections(), 1);
    std::vector<console_result> results(5);
    std::vector<std::thread> checks;
    for (auto& r : results)
        checks.emplace_back([&sshd, &r] { r = sshd.console(cpu); });
    for (auto& t : checks)
        t.join();
    for (const auto& r : results) {
        EXPECT_EQ(r.status, 0) << r.out << r.err;
        EXPECT_EQ(r.out, cpu_ok);
        EXPECT_EQ(r.err, "");
    }
    // Two rode the master, three could not: at least three direct connections.
    EXPECT_GE(sshd.connections(), 4);
    for (const std::string& agent : lines_of(bin.path("agents")))
        EXPECT_TRUE(ends_soon(agent, std::chrono::seconds(5))) << agent;
}

// A scheduler's timeout kills the plugin's whole process group: the master lives on, the
// agent of the killed check ends, and the next check rides the same connection.
TEST(ConsoleReuse, MasterOutlivesAKilledProcessGroup)
{
    const temp_dir bin;
    START_SSHD(sshd, "", fake_vmstat(bin.dir(), 1));
    ASSERT_EQ(sshd.console(cpu).status, 0);
    pid_t master = test_sshd::master_pid(sshd.control_sockets()[0]);
    ASSERT_GT(master, 0);

    std::ofstream(bin.path("hold")).put('\n');
    launch how = sshd.console_launch(cpu);
    how.in_child = [] { ::setpgid(0, 0); };
    {
        process check(how);
        ASSERT_TRUE(has_lines(bin.path("agents"), 2));
        ::kill(-check.pid(), SIGKILL);
        EXPECT_EQ(check.wait(), -SIGKILL);
    }
    std::string hung_agent = lines_of(bin.path("agents")).back();
    EXPECT_TRUE(ends_soon(hung_agent, std::chrono::seconds(10))) << hung_agent;
    ::unlink(bin.path("hold").c_str());

    EXPECT_EQ(test_sshd::master_pid(sshd.control_sockets()[0]), master);
    console_result next = sshd.console(cpu);
    EXPECT_EQ(next.out, cpu_ok) << next.err;
    EXPECT_EQ(sshd.connections(), 1);
}
