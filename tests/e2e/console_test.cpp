// dorv-console against the agent on this host: the request kinds, output formats, exit
// statuses, errors, and agents that hang, end early or write their replies in pieces.
#include <signal.h>
#include <sys/stat.h>
#include <unistd.h>

#include <chrono>
#include <fstream>
#include <gtest/gtest.h>

#include "checks/built_in.h"
#include "e2e/agent_harness.h"
#include "e2e/console_harness.h"
#include "support/check_list.h"
#include "support/fake_command.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

TEST(Console, EveryCheckRunsOverOneAgentSession)
{
    local_agent a;
    console_result r = a.run({"--format", "json", "run-all"});
    EXPECT_TRUE(r.status == 0 || r.status == 2) << r.err;
    std::vector<std::string> lines;
    for (std::size_t at = 0, nl; (nl = r.out.find('\n', at)) != std::string::npos; at = nl + 1)
        lines.push_back(r.out.substr(at, nl - at));
    ASSERT_EQ(lines.size(), static_cast<std::size_t>(check_count())) << r.out << r.err;
    for (std::size_t i = 0; i < lines.size(); ++i) {
        EXPECT_NE(
            lines[i].find("{\"command\":\"run\",\"check\":\"" + std::string(dorv::checks[i].name) + "\""),
            std::string::npos);
        EXPECT_TRUE(lines[i].find("\"status\":\"up\"") != std::string::npos ||
                    lines[i].find("\"status\":\"down\"") != std::string::npos)
            << lines[i];
    }
    EXPECT_NE(lines[0].find(
                  "\"text\":\"CPU load is 15\",\"figure\":{\"label\":\"load\",\"value\":15,\"unit\":\"%\"}"),
              std::string::npos)
        << lines[0];
    std::string trace = a.trace();
    EXPECT_EQ(count_of(trace, "Accepted new connection"), 1);
    EXPECT_EQ(count_of(trace, "#requestaction=listchecks#"), 1);
    EXPECT_EQ(count_of(trace, "#requestaction=runcheck#"), check_count());
}

TEST(Console, PluginLineAndExitStatusFollowTheResult)
{
    local_agent a;
    struct row {
        std::vector<std::string> args;
        int status;
        std::string line;
    };
    const std::vector<row> rows = {
        {{"run", "CPU", "80"}, 0, "CPU OK - CPU load is 15 | 'cpu_load'=15%;;80;0;100\n"},
        {{"run", "CPU", "15"}, 0, "CPU OK - CPU load is 15 | 'cpu_load'=15%;;15;0;100\n"},
        {{"run", "CPU", "Load=14"},
         2,
         "CPU CRITICAL - CPU load 15 out of Limit 14 | 'cpu_load'=15%;;14;0;100\n"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = {"--format", "plugin"};
        args.insert(args.end(), r.args.begin(), r.args.end());
        console_result got = a.run(args);
        EXPECT_EQ(got.status, r.status) << got.err;
        EXPECT_EQ(got.out, r.line);
    }
}

TEST(Console, ListAndDescribeShowWhatTheAgentOffers)
{
    local_agent a;
    console_result r = a.run({"list", "+", "describe", "DiskSpace", "+", "describe", "CPU"});
    EXPECT_EQ(r.status, 0) << r.err;
    for (const char* s :
         {"CPU        CPU Usage\n", "Processes  Running processes\n", "1. Disk Free Limit [%]",
          "number, max length 100", "2. Disks", "       /\n", "1. Load Limit [%]  number, max length 200"})
        EXPECT_NE(r.out.find(s), std::string::npos) << s << "\n" << r.out;
}

// A check the agent does not know and a name no parameter has are unknown; the session
// goes on with the next command.
TEST(Console, UnknownCheckAndBadParameterNameAreUnknown)
{
    local_agent a;
    console_result r = a.run({"run", "cpu", "80", "+", "run", "CPU", "Size=80", "+", "run", "CPU", "80"});
    EXPECT_EQ(r.status, 3);
    EXPECT_NE(
        r.err.find("dorv-console: unknown check \"cpu\" (the agent offers: " + offered_checks() + ")\n"),
        std::string::npos)
        << r.err;
    EXPECT_NE(r.err.find("dorv-console: CPU has no parameter \"Size\" (its parameters: Load Limit [%])\n"),
              std::string::npos)
        << r.err;
    EXPECT_EQ(r.out, "CPU        up       CPU load is 15  (Load Limit [%]=80)\n");
    EXPECT_EQ(count_of(a.trace(), "Accepted new connection"), 1);
}

TEST(Console, RejectedAddressNamesAgentStatusOne)
{
    local_agent a("[firewall]\n" + user_name() + "=10.0.0.0-10.255.255.255\n");
    console_env env;
    env.set["SSH_CLIENT"] = "127.0.0.1 40000 22";
    console_result r = a.run({"--format", "plugin", "run", "CPU", "80"}, env);
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.out,
              "CPU UNKNOWN - the agent rejected this connection (agent exit status 1): the client address is "
              "outside the [firewall] range of its configuration\n");
    EXPECT_NE(a.trace().find("Rejected IP address 127.0.0.1: not in allowed range 10.0.0.0-10.255.255.255"),
              std::string::npos);
}

TEST(Console, MissingLocalAgentIsNamed)
{
    console_result r = run_console({"--agent", "/nonexistent/dorv", "list"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err, "dorv-console: cannot run /nonexistent/dorv: No such file or directory\n");
}

// Without --agent the console starts the dorv beside itself.
TEST(Console, AgentBesideTheConsoleByDefault)
{
    console_result r = run_console({"--format", "json", "describe", "CPU"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out,
              "{\"command\":\"describe\",\"check\":\"CPU\",\"parameters\":[{\"name\":\"Load Limit [%]\","
              "\"type\":\"longinteger\",\"maxlength\":200}]}\n");
}

namespace {

const std::string fake_login = "#keycount=2#responseaction=login#sessionid=S#";
const std::string list_request = "#keycount=2#requestaction=listchecks#sessionid=S#";

} // namespace

// The agent's packets carry no framing: a reply written in pieces, one ending right after
// a '#', is read whole.
TEST(Console, ReplyWrittenInPiecesIsReadWhole)
{
    temp_dir s;
    write_script(
        s.path("agent"),
        "printf '#keycount=2#respon'; sleep 0.2; printf 'seaction=login#sessionid=S#'\n"
        "head -c " +
            std::to_string(list_request.size()) +
            " >/dev/null\n"
            "printf '#keycount=9#responseaction=listchecks#sessionid=S#checkcount=2#'; sleep 0.2\n"
            "printf "
            "'checkid1=A#checkdescription1=First#available1=true#checkid2=B#checkdescription2=Second#'\n"
            "sleep 0.2; printf 'available2=true#'\n"
            "cat >/dev/null\n");
    console_result r = run_console({"--agent", s.path("agent"), "list"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "CHECK    DESCRIPTION\nA        First\nB        Second\n");
}

TEST(Console, AgentEndingMidSessionNamesItsStatus)
{
    temp_dir s;
    write_script(s.path("agent"), "printf '" + fake_login + "'\nhead -c 10 >/dev/null\nexit 7\n");
    console_result r = run_console({"--agent", s.path("agent"), "list"});
    EXPECT_EQ(r.status, 3);
    EXPECT_EQ(r.err,
              "dorv-console: the agent ended with exit status 7 (request not implemented) before its reply "
              "to listchecks\n");
}

// A hung agent is killed at the deadline, with what it started, and the result is unknown.
TEST(Console, HungAgentIsKilledAtTheTimeout)
{
    struct row {
        std::string body;
        std::string awaited;
    };
    const row rows[] = {
        {"sleep 30 & echo $! >PIDFILE\nwait\n", "its login packet"},
        {"sleep 30 & echo $! >PIDFILE\nprintf '" + fake_login + "'\nwait\n", "its reply to definecheck"},
    };
    for (const auto& row : rows) {
        temp_dir s;
        std::string body = row.body;
        body.replace(body.find("PIDFILE"), 7, s.path("pid"));
        write_script(s.path("agent"), body);
        console_result r = run_console(
            {"--agent", s.path("agent"), "--timeout", "1", "--format", "plugin", "run", "CPU", "80"});
        EXPECT_EQ(r.status, 3);
        EXPECT_EQ(r.out, "CPU UNKNOWN - no answer from the agent within 1 s (waiting for " + row.awaited +
                             "); the agent was killed\n");
        EXPECT_GE(r.seconds, 0.9);
        EXPECT_LT(r.seconds, 5);
        // The agent's own child went with it (it may linger as a zombie of init). The kill
        // is sent before the console ends; on a loaded host the child may take a moment
        // to be scheduled and die of it.
        std::string pid = read_file(s.path("pid"));
        ASSERT_FALSE(pid.empty());
        EXPECT_TRUE(ends_soon(pid.substr(0, pid.find('\n')), std::chrono::seconds(2))) << pid;
    }
}
