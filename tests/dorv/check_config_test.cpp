// dorv --check-config: each problem is reported with its line, a clean file passes.
#include "dorv/check_config.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include <fstream>

#include "support/temp_dir.h"

using namespace dorv;
using dorv_test::temp_file;

namespace {

struct checked {
    int status;
    std::string out;
};

checked check(const std::string& text)
{
    temp_file f(text);
    checked c;
    c.status = check_config(f.path(), c.out);
    // Report lines name the file; the tests name only line and problem.
    for (std::size_t at; (at = c.out.find(f.path())) != std::string::npos;)
        c.out.replace(at, f.path().size(), "FILE");
    return c;
}

} // namespace

TEST(CheckConfig, CleanFilePassesAndSaysWhatEachLoginAdmits)
{
    checked c =
        check("; dorv\n[agent]\nlog=/tmp/dorv-check.log\nprobe_timeout=10\nprocess_users=root, dorv\n\n"
              "[firewall]\r\nroot=10.0.0.0-10.0.0.255, 2001:db8::5\n*=192.168.0.0/16\n");
    EXPECT_EQ(c.status, 0);
    EXPECT_EQ(c.out,
              "firewall: login root admits IPv4 10.0.0.0 to 10.0.0.255, IPv6 address 2001:db8::5\n"
              "firewall: every other login admits IPv4 192.168.0.0/16 (192.168.0.0 to 192.168.255.255)\n");
    EXPECT_EQ(check("[agent]\nprocess_users=*\n").out,
              "firewall: no entry, every login admits every client\n");
    EXPECT_EQ(check("[firewall]\nroot=10.0.0.5\n").out,
              "firewall: login root admits IPv4 address 10.0.0.5\n"
              "firewall: every other login admits every client (no \"*\" entry)\n");
}

TEST(CheckConfig, EachProblemIsReportedWithItsLine)
{
    struct row {
        std::string text;
        std::string line; // the report line expected
    };
    const row rows[] = {
        {"[agent]\nlog\n", "FILE:2: neither comment, section header nor key=value entry"},
        {"[agent]\n=x\n", "FILE:2: neither comment, section header nor key=value entry"},
        {"[agent] \n", "FILE:1: not a section header: nothing may follow ']' and '[' needs a ']'"},
        {"[agent]\n log=/tmp/x\n", "FILE:2: blank before the key: the line matches no key"},
        {"[agent]\nlog =/tmp/x\n", "FILE:2: blanks around '=': the line matches no key"},
        {"[agent]\nlog= /tmp/x\n", "FILE:2: blanks around '=': the value begins with them"},
        {"[firewall]\nroot = 10.0.0.0/8\n", "FILE:2: blanks around '=': the line matches no key"},
        {"[Agent]\nlog=/tmp/x\n", "FILE:1: section [Agent] is not used by the agent"},
        {"log=/tmp/x\n", "FILE:1: entry before any section header is not used"},
        {"[agent]\nlogfile=/tmp/x\n", "FILE:2: key \"logfile\" in [agent] is not used by the agent"},
        {"[agent]\nlog=/tmp/a\n\nlog=/tmp/b\n", "FILE:4: repeated key \"log\": the one on line 2 is used"},
        {"[firewall]\nroot=10.0.0.1\n[agent]\n[firewall]\nroot=10.0.0.2\n",
         "FILE:5: repeated key \"root\": the one on line 2 is used"},
        {"[firewall]\nroot=10.0.0.0/33\n", "FILE:2: firewall value for \"root\" cannot be read at "
                                           "\"10.0.0.0/33\": every client of it is rejected"},
        {"[firewall]\nroot=10.0.0.0/8, typo\n",
         "FILE:2: firewall value for \"root\" cannot be read at \"typo\": every client of it is rejected"},
        {"[firewall]\n*=\n",
         "FILE:2: firewall value for \"*\" cannot be read at \"\": every client of it is rejected"},
        {"[firewall]\nno-such-user-dorv=10.0.0.1\n",
         "FILE:2: firewall login \"no-such-user-dorv\" is no user of this host"},
        {"[agent]\nlog=/nonexistent-dorv/trace.log\n",
         "FILE:2: log directory /nonexistent-dorv does not exist"},
        {"[agent]\nlog=\n", "FILE:2: log path is empty"},
        {"[agent]\nprobe_timeout=ten\n", "FILE:2: probe_timeout is not a number of seconds"},
        {"[agent]\nprobe_timeout=0\n", "FILE:2: probe_timeout is not a number of seconds"},
        {"[agent]\nprocess_users=root,,dorv\n",
         "FILE:2: process_users is neither \"*\" nor a comma-separated list of user names"},
        {"[agent]\n" + std::string(16383, 'x') + "\n",
         "FILE:2: line longer than 16383 characters: the rest is read as further lines"},
    };
    for (const auto& r : rows) {
        checked c = check(r.text);
        EXPECT_EQ(c.status, 1) << r.line;
        EXPECT_NE(c.out.find(r.line + "\n"), std::string::npos) << r.line << "\n" << c.out;
    }
}

TEST(CheckConfig, FileThatCannotBeReadFails)
{
    std::string out;
    EXPECT_EQ(check_config("/nonexistent-dorv/dorv.ini", out), 1);
    EXPECT_EQ(out, "/nonexistent-dorv/dorv.ini: cannot read: No such file or directory\n");
    out.clear();
    EXPECT_EQ(check_config("/", out), 1);
    EXPECT_EQ(out, "/: cannot read: not a regular file\n");
}

TEST(CheckConfig, CheckSectionsOfTheFileAndItsDropInsAreReportedInFileOrder)
{
    dorv_test::temp_dir d;
    ::mkdir(d.path("dorv.d").c_str(), 0755);
    std::ofstream(d.path("dorv.ini")) << "[agent]\nlog=/tmp/x.log\n[check:Load]\n"
                                         "command=/usr/lib/nagios/plugins/check_load -w {W} -c 9\nnumber=W\n"
                                         "[check:Bad]\ncommand=/nonexistent/check_x\n";
    std::ofstream(d.path("dorv.d/b.ini")) << "[check:Two]\ncommand=/bin/echo {A}\nlist=A: x\nlist=B: y\n";
    std::ofstream(d.path("dorv.d/a.ini")) << "[agent]\nlog=/tmp/y\n[check:Load]\ncommand=/bin/true\n";
    std::ofstream(d.path("dorv.d/c.conf")) << "not read\n";
    std::string out;
    EXPECT_EQ(check_config(d.path("dorv.ini"), out), 1);
    const std::string f = d.path("dorv.ini"), a = d.path("dorv.d/a.ini"), b = d.path("dorv.d/b.ini");
    EXPECT_EQ(
        out, f +
                 ":7: check \"Bad\" does not run: /nonexistent (on the way to /nonexistent/check_x) does not "
                 "exist\n" +
                 a +
                 ":1: section [agent] in a drop-in file is ignored: only [check:...] sections count there\n" +
                 a + ":3: check \"Load\" is declared already on " + f + ":3: the section is ignored\n" + b +
                 ":4: a check takes at most one list: \"B\" is a second after \"A\"\n" + b +
                 ":4: parameter \"B\" is used by no placeholder\n"
                 "firewall: no entry, every login admits every client\n"
                 "check Load: runs /usr/lib/nagios/plugins/check_load with W (a number)\n"
                 "check Bad: does not run (see above)\n"
                 "check Two: does not run (see above)\n");
    ::chmod(d.path("dorv.d/b.ini").c_str(), 0666);
    out.clear();
    check_config(d.path("dorv.ini"), out);
    EXPECT_NE(out.find(b + ": " + b + " is writable by others than root: the file is not read\n"),
              std::string::npos)
        << out;
}
