// What a client can do to the trace log and to the agent's start: forged lines, a log path
// that is a symbolic link, a request dribbled a byte at a time, an unreadable
// configuration, a probe command planted in the working directory; and the check of a
// configuration file by the agent binary itself.
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <fstream>
#include <sstream>

#include "e2e/agent_harness.h"
#include "support/fake_command.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

void expect_login(agent& a)
{
    EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
}

} // namespace

TEST(Trace, ConsoleTextCannotAddALine)
{
    const std::string forged = "Accepted new connection for user root from IP 6.6.6.6";
    agent_options o;
    o.ssh_client = "10.1.2.3\nAccepted\r\t\x7f\x01 1 2"; // the address ends at the first space
    agent a(o);
    expect_login(a);
    a.request("listchecks", "x=1\n" + forged + "\n#");
    a.request("runcheck", "checkid=DiskSpace#para=\"#Disk Free Limit [%]=100#Disks=/x\n" + forged + "\n#\"#");
    a.send("nosuch\n" + forged, "");
    EXPECT_EQ(a.wait(), 7);
    std::istringstream lines(a.trace());
    int accepted = 0, count = 0;
    for (std::string line; std::getline(lines, line); ++count) {
        accepted += line.starts_with("Accepted new connection");
        EXPECT_TRUE(line.empty() || line.starts_with("Accepted new connection for user ") ||
                    line.starts_with("> ") || line.starts_with("< [") || line.starts_with("Command "))
            << line;
    }
    EXPECT_EQ(accepted, 1);
    EXPECT_EQ(count, 9); // empty, accepted, login, two requests and replies, the unknown one
    EXPECT_NE(a.trace().find(" from IP 10.1.2.3\\nAccepted\\r\\t\\x7f\\x01\n"), std::string::npos)
        << a.trace();
    EXPECT_NE(a.trace().find("\nCommand nosuch\\n" + forged + " not implemented\n"), std::string::npos);
}

TEST(Trace, LogIsNotWrittenThroughASymlinkAndIsNotReadableByOthers)
{
    const temp_dir files;
    const std::string& dir = files.dir();
    const std::string victim = dir + "/passwd-copy", link = dir + "/trace.log", fresh = dir + "/new.log";
    std::ofstream(victim) << "root:x:0:0:root:/root:/bin/sh\n";
    ASSERT_EQ(::symlink(victim.c_str(), link.c_str()), 0);
    for (const std::string& log : {link, fresh}) {
        SCOPED_TRACE(log);
        agent_options o;
        o.config = "[agent]\nlog=" + log + "\n";
        agent a(o);
        expect_login(a);
        a.request("listchecks", "");
        a.close_input();
        EXPECT_EQ(a.wait(), 0);
    }
    EXPECT_EQ(read_file(victim), "root:x:0:0:root:/root:/bin/sh\n");
    struct stat st;
    ASSERT_EQ(::lstat(fresh.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0137, 0u) << std::oct << st.st_mode;
    EXPECT_NE(read_file(fresh).find("Accepted new connection"), std::string::npos);
}

TEST(Trace, RequestDribbledAByteAtATimeWritesLittleTrace)
{
    agent a;
    // A quoted value keeps the text incomplete until its closing quote (and the value of
    // keycount is not examined): 16000 reads of one byte between the first and the last.
    const std::string open = "#keycount=\"", body(16000, 'a');
    const std::string close = "\"#requestaction=listchecks#sessionid=" + a.session_id() + "#";
    ASSERT_TRUE(a.wait_trace("> " + a.login() + "\n"));
    const std::size_t before = a.trace().size();
    a.write(open);
    ASSERT_TRUE(a.wait_trace("] " + open + "\n"));
    a.write_dribbled(body);
    a.write(close);
    std::string reply = a.read_packet();
    EXPECT_NE(reply.find("#responseaction=listchecks#"), std::string::npos);
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
    const std::string trace = a.trace().substr(before);
    EXPECT_LT(trace.size(), 64u * 1024);
    // Eight reads traced, then the count of those not traced, then the read that ended it.
    EXPECT_TRUE(trace.starts_with("< [11] " + open + "\n< [1] " + open + "a\n")) << trace.substr(0, 300);
    EXPECT_NE(trace.find("aaaaaaa\n< 15993 reads not traced one by one\n< [" + std::to_string(close.size()) +
                         "] " + open + body + close + "\n> " + reply + "\n"),
              std::string::npos)
        << trace.substr(0, 2000);
}

TEST(Trace, UnreadableConfigurationEndsWithStatusOneAndAMessage)
{
    struct row {
        const char* what;
        std::string setup;
        std::optional<uid_t> uid;
        std::string reason;
    };
    const passwd* nobody = ::getpwnam("nobody");
    std::vector<row> rows = {
        {"a directory", "rm -f etc/dorv/dorv.ini && mkdir etc/dorv/dorv.ini", {}, "not a regular file"},
        {"a FIFO", "rm -f etc/dorv/dorv.ini && mkfifo etc/dorv/dorv.ini", {}, "not a regular file"}};
    if (::geteuid() == 0 && nobody)
        rows.push_back({"not readable by the user", "", nobody->pw_uid, "Permission denied"});
    for (const auto& r : rows) {
        SCOPED_TRACE(r.what);
        agent_options o;
        o.config = "[firewall]\nnobody=10.0.0.0/8\n";
        o.capture_stderr = true;
        o.uid = r.uid;
        const temp_dir start_dir;
        if (r.uid) {
            o.config_mode = 0;
        } else {
            // Replaces the file by a directory, then becomes the agent.
            o.binary = start_dir.path("start");
            write_script(o.binary, r.setup + "\nexec '" + std::string(DORV_TEST_AGENT) + "'\n");
        }
        agent a(o);
        EXPECT_EQ(a.read_packet(), "");
        EXPECT_EQ(a.wait(), 1);
        EXPECT_EQ(a.stderr_text(), "dorv: cannot read etc/dorv/dorv.ini: " + r.reason + "\n");
        EXPECT_EQ(a.trace(), "");
    }
}

TEST(Probes, CommandInTheWorkingDirectoryIsNotRunThroughARelativePathElement)
{
    if (::access("/usr/bin/vmstat", X_OK) != 0 && ::access("/bin/vmstat", X_OK) != 0)
        GTEST_SKIP() << "no vmstat here";
    // PATH begins with an empty element, then ".", then "bin": each finds a planted vmstat.
    agent_options o;
    o.path_prefix = {"", ".", "bin"};
    agent a(o);
    ::mkdir((a.dir() + "/bin").c_str(), 0755);
    const std::string fake =
        "touch '" + a.dir() + "/planted-ran'\necho 'r b swpd free'\necho '0 0 0 0 99 99 0'\n";
    write_script(a.dir() + "/vmstat", fake);
    write_script(a.dir() + "/bin/vmstat", fake);
    std::string reply = a.request("runcheck", "checkid=CPU#para=\"#Load Limit [%]=200#\"#");
    EXPECT_NE(reply.find("#resultstring=CPU load "), std::string::npos) << reply;
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
    EXPECT_NE(::access((a.dir() + "/planted-ran").c_str(), F_OK), 0);
}

TEST(CheckConfig, TheAgentBinaryChecksAFileAndExitsByItsProblems)
{
    const temp_dir files;
    const std::string& dir = files.dir();
    struct row {
        std::string text;
        int status;
        std::string output; // a line the output holds
    };
    const row rows[] = {
        {"[agent]\nlog=" + dir + "/trace.log\n[firewall]\nroot=10.0.0.0/8\n", 0,
         "firewall: login root admits IPv4 10.0.0.0/8 (10.0.0.0 to 10.255.255.255)\n"},
        {"[agent]\nlog=" + dir + "/trace.log\n[firewall]\nroot = 10.0.0.0/8\n", 1,
         dir + "/dorv.ini:4: blanks around '=': the line matches no key\n"},
    };
    for (const auto& r : rows) {
        std::ofstream(dir + "/dorv.ini") << r.text;
        agent_options o;
        o.binary = DORV_AGENT;
        o.args = {"--check-config", dir + "/dorv.ini"};
        agent a(o);
        std::string out = a.read_packet();
        EXPECT_EQ(a.wait(), r.status);
        EXPECT_NE(out.find(r.output), std::string::npos) << out;
        EXPECT_EQ(a.trace(), ""); // no session ran
    }
}
