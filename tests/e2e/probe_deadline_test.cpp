// Probes that stall, end by a signal or outlive the console, through the real agent: every
// check answers by its deadline and the session goes on; a console gone ends the agent and
// its probe; the last request before end of input is still answered.
#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <iostream>
#include <sstream>
#include <thread>

#include "e2e/agent_harness.h"
#include "protocol/header.h"
#include "support/check_list.h"
#include "support/fake_command.h"
#include "support/process.h"

using namespace dorv_test;

namespace {

using clock_type = std::chrono::steady_clock;

// Fake probe commands in a directory of their own, removed at the end of the test. Each
// records its process number in <dir>/pids before it does its part.
struct fake_probes : fake_commands {
    void command(const std::string& at, const std::string& body) const
    {
        write_script(at, "echo $$ >> '" + path("pids") + "'\n" + body);
    }
    void command_on_path(const std::string& name, const std::string& body) const
    {
        command(path(name), body);
    }

    std::vector<pid_t> pids() const
    {
        std::vector<pid_t> out;
        std::istringstream in(read_file(path("pids")));
        for (pid_t p; in >> p;)
            out.push_back(p);
        return out;
    }
    agent_options options(const std::string& config) const
    {
        agent_options o;
        o.path_prefix = {dir()};
        o.config = config;
        return o;
    }
};

std::string error_reply(agent& a, const std::string& action, const std::string& text)
{
    return dorv::packet_header(dorv::header_side::response, action, a.session_id(), 1) +
           "#errormessage=" + text + "#";
}

std::string runcheck(agent& a, const std::string& check, const std::string& para)
{
    return a.request("runcheck", "checkid=" + check + "#para=\"" + para + "\"#");
}

double seconds_since(clock_type::time_point start)
{
    return std::chrono::duration<double>(clock_type::now() - start).count();
}

} // namespace

TEST(ProbeDeadline, HungProbesAnswerByTheDeadlineAndTheSessionGoesOn)
{
    fake_probes fake;
    for (const char* name : {"vmstat", "top"})
        fake.command_on_path(name, "exec sleep 100\n");
    // ps lists one process before it stalls: the descriptor list keeps it.
    fake.command_on_path("ps", "echo 'USER COMMAND'; echo 'root /usr/sbin/cron -s'; exec sleep 100\n");
    agent a(fake.options("probe_timeout=1\n"));
    a.login();
    const struct {
        const char* check;
        const char* para;
        const char* command;
    } checks[] = {
        {"CPU", "#Load Limit [%]=80#", "vmstat 1 2"},
        {"RAM", "#Free RAM Limit [%]=10#", "top -d 1 -n 1 -b"},
        {"Swap", "#Free Swap Limit [%]=10#", "top -d 1 -n 1 -b"},
        {"Processes", "#Select Process=cron#", "ps -ax -o user,args"},
    };
    for (const auto& c : checks) {
        SCOPED_TRACE(c.check);
        auto start = clock_type::now();
        std::string reply = runcheck(a, c.check, c.para);
        double took = seconds_since(start);
        EXPECT_EQ(reply, error_reply(a, "runcheck", std::string(c.command) + " did not finish within 1 s"));
        EXPECT_GE(took, 0.9);
        EXPECT_LT(took, 1.8);
    }
    EXPECT_NE(a.trace().find("vmstat 1 2 did not finish within 1 s\n"), std::string::npos);
    std::string list = a.request("definecheck", "checkid=Processes#");
    EXPECT_NE(list.find("#valuecount=1#value1=cron -s#"), std::string::npos) << list;
    EXPECT_NE(a.request("listchecks", "").find(listchecks_pairs()), std::string::npos);
    for (pid_t p : fake.pids())
        EXPECT_TRUE(ends_soon(p)) << p;
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST(ProbeDeadline, HungDfAnswersByTheDeadlineAndItsListKeepsWhatArrived)
{
    if (!private_mounts_work())
        GTEST_SKIP() << "df runs by its absolute path: a fake one needs root and unshare -m";
    fake_probes fake;
    fake.command(fake.path("df"), "echo 'Filesystem 1K-blocks Used Available Use% Mounted on'\n"
                                  "echo '/dev/sda1 100 50 50 50% /'\nexec sleep 100\n");
    agent a(in_namespace(fake.options("probe_timeout=1\n"), fake.dir(),
                         "mount --bind " + fake.path("df") + " /bin/df"));
    a.login();
    auto start = clock_type::now();
    EXPECT_EQ(runcheck(a, "DiskSpace", "#Disk Free Limit [%]=10#Disks=/#"),
              error_reply(a, "runcheck", "/bin/df did not finish within 1 s"));
    EXPECT_LT(seconds_since(start), 1.8);
    std::string list = a.request("getcomboparamvalues", "checkid=DiskSpace#");
    EXPECT_NE(list.find("#valuecount=1#value1=/#"), std::string::npos) << list;
    for (pid_t p : fake.pids())
        EXPECT_TRUE(ends_soon(p)) << p;
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST(ProbeDeadline, ProbeEndedByASignalAnswersThat)
{
    fake_probes fake;
    fake.command_on_path("vmstat", "echo header; kill -KILL $$\n");
    fake.command_on_path("ps", "echo 'USER COMMAND'; echo 'root cron'; kill -KILL $$\n");
    agent a(fake.options(""));
    a.login();
    const std::string signal = " was ended by signal 9 (" + std::string(strsignal(SIGKILL)) + ")";
    EXPECT_EQ(runcheck(a, "CPU", "#Load Limit [%]=80#"), error_reply(a, "runcheck", "vmstat 1 2" + signal));
    EXPECT_EQ(runcheck(a, "Processes", "#Select Process=cron#"),
              error_reply(a, "runcheck", "ps -ax -o user,args" + signal));
}

TEST(ProbeDeadline, ConsoleGoneWhileAProbeHangsEndsTheAgentAndTheProbe)
{
    fake_probes fake;
    fake.command_on_path("vmstat", "exec sleep 100\n");
    agent a(fake.options("probe_timeout=60\n"));
    a.login();
    a.send("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#");
    for (int i = 0; i < 400 && fake.pids().empty(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    ASSERT_EQ(fake.pids().size(), 1u);
    auto start = clock_type::now();
    a.close_output();
    EXPECT_EQ(a.wait(std::chrono::seconds(5)), 1);
    EXPECT_LT(seconds_since(start), 1.0);
    EXPECT_TRUE(ends_soon(fake.pids()[0]));
    EXPECT_NE(a.trace().find("connection closed while vmstat 1 2 was running\n"), std::string::npos)
        << a.trace();
}

TEST(ProbeDeadline, LastRequestBeforeEndOfInputIsAnswered)
{
    fake_probes fake;
    fake.command_on_path("vmstat", "sleep 0.3; printf 'h\\nus sy id\\nx\\n1 2 3 4 5 90\\n'\n");
    agent a(fake.options(""));
    a.login();
    a.send("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#");
    a.close_input();
    EXPECT_EQ(a.read_packet(), "#keycount=5#responseaction=runcheck#sessionid=" + a.session_id() +
                                   "#checkid=CPU#result=up#resultstring=CPU load is 9#");
    EXPECT_EQ(a.wait(), 0);
}

// The shipped static agent reads a probe's output a piece at a time: a million lines do
// not grow it.
TEST(ProbeDeadline, MillionLinesOfOutputKeepTheAgentSmall)
{
#if defined(__SANITIZE_ADDRESS__)
    GTEST_SKIP() << "peak RSS is not compared under a memory checker";
#endif
    if (::access("/etc/dorv/dorv.ini", F_OK) == 0 || std::getenv("DORV_MEMCHECK"))
        GTEST_SKIP() << "the shipped agent would read this host's configuration";
    fake_probes fake;
    fake.command_on_path("top",
                         "yes 'Mem: 20M Active, 100M Inact, 50M Wired, 10M Cache, 30M Buf, 300M Free' | "
                         "head -n 1000000\n");
    agent_options o = fake.options("");
    o.binary = DORV_AGENT;
    o.config.reset();
    agent a(o);
    a.login();
    std::string reply = runcheck(a, "RAM", "#Free RAM Limit [%]=10#");
    EXPECT_NE(reply.find("#resultstring=81% of RAM memory free#"), std::string::npos) << reply;
    long peak_kb = peak_rss_kb(a.pid());
    std::cout << "peak RSS (VmHWM) of the shipped agent after a probe of 1000000 lines: " << peak_kb
              << " kB\n";
    EXPECT_GT(peak_kb, 0);
    EXPECT_LT(peak_kb, 4096);
}
