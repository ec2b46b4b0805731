// Process check: the ps variant, the splitting of ps lines, the kept texts of captured ps
// output, the list bound, and the builder and runner over a fake ps.
#include "probes/processes.h"

#include <gtest/gtest.h>
#include <sys/utsname.h>
#include <unistd.h>

#include <algorithm>

#include "config/config.h"
#include "probes/host_forms.h"
#include "protocol/packet.h"
#include "support/capture.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

using namespace dorv;
using namespace dorv_test;

namespace {

using kept_list = std::vector<std::string>;

TEST(PsCommand, ChosenByTheWholeSystemName)
{
    for (const char* name : {"SunOS", "IRIX64"})
        EXPECT_EQ(ps_command(name), "ps -e -o user,args") << name;
    for (const char* name : {"FreeBSD", "Linux", "IRIX", "SunOS5", "sunos", "IRIX64 ", ""})
        EXPECT_EQ(ps_command(name), "ps -ax -o user,args") << name;
}

TEST(ProcessLine, SplitsUserCommandAndKeptText)
{
    struct {
        const char* line;
        const char* user;
        const char* command;
        const char* kept;
    } cases[] = {
        {"root /usr/sbin/cron -s", "root", "/usr/sbin/cron -s", "cron -s"},
        {"root /bin/sh /etc/rc autoboot", "root", "/bin/sh /etc/rc autoboot", "sh /etc/rc autoboot"},
        {"root sendmail: accepting connections", "root", "sendmail: accepting connections",
         "sendmail: accepting connections"},
        {"root [idle]", "root", "[idle]", "[idle]"},
        {"root [intr/0]", "root", "[intr/0]", "[intr/0]"},
        {"root [kworker/0:1-events] /x", "root", "[kworker/0:1-events] /x", "[kworker/0:1-events] /x"},
        {"    root   /usr/sbin/cron   ", "root", "/usr/sbin/cron   ", "cron"},
        {"dorv -sh", "dorv", "-sh", "-sh"},
        {"root ./relative/prog x/y", "root", "./relative/prog x/y", "prog x/y"},
        {"root /usr/bin/", "root", "/usr/bin/", ""},
        {"root", "root", "", ""},
        {"root    ", "root", "", ""},
        // A tab is no separator: here it belongs to the command.
        {"root \t/usr/sbin/cron", "root", "\t/usr/sbin/cron", "cron"},
        {"root /usr/sbin/cron\t-s", "root", "/usr/sbin/cron\t-s", "cron\t-s"},
        {"root /opt/my\tapp/run -x\t", "root", "/opt/my\tapp/run -x\t", "run -x\t"},
    };
    for (const auto& c : cases) {
        std::optional<process_line> p = parse_process_line(c.line);
        ASSERT_TRUE(p) << c.line;
        EXPECT_EQ(p->user, c.user) << c.line;
        EXPECT_EQ(p->command, c.command) << c.line;
        EXPECT_EQ(p->kept, c.kept) << c.line;
    }
}

TEST(ProcessLine, OnlyRootAndDorvCount)
{
    for (const char* line : {"rooter /usr/sbin/cron", "www /usr/sbin/cron", "Root cron", "root\tcron",
                             "\troot cron", "dorv2 x", "", "   "})
        EXPECT_FALSE(parse_process_line(line)) << '"' << line << '"';
}

kept_list parse_all(const std::string& text, const std::optional<std::string>& running, int* count,
                    int commands_max = max_entries)
{
    text_lines lines(text);
    kept_list out;
    *count = parse_ps(lines, out, commands_max, running);
    return out;
}

struct ps_case {
    const char* fixture;
    kept_list kept;
};

class PsFixture : public ::testing::TestWithParam<ps_case> {};

TEST_P(PsFixture, KeepsTheCommandsOfRootAndDorv)
{
    stderr_capture trace;
    int count = -1;
    EXPECT_EQ(parse_all(fixture(GetParam().fixture), std::nullopt, &count), GetParam().kept);
    EXPECT_EQ(count, 0);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, PsFixture,
    ::testing::Values(
        ps_case{"ps/freebsd-13.txt",
                {"[kernel]",
                 "init --",
                 "[KSTACK]",
                 "[rand_harvestq]",
                 "[pagedaemon]",
                 "[vmdaemon]",
                 "[bufdaemon]",
                 "[syncer]",
                 "[idle]",
                 "[intr]",
                 "[geom]",
                 "[intr/0]",
                 "devd",
                 "syslogd -s",
                 "sh /etc/rc autoboot",
                 "cron -s",
                 "sshd",
                 "sendmail: accepting connections (sendmail)",
                 "getty Pc ttyv0",
                 "sshd: dorv [priv] (sshd)",
                 "sshd: dorv@notty (sshd)",
                 "dorv",
                 "httpd -DNOHTTPACCEPT",
                 "ps -ax -o user,args"}},
        ps_case{"ps/sunos-5.10.txt",
                {"sched", "init", "pageout", "fsflush", "svc.startd", "svc.configd", "nscd", "syseventd",
                 "cron", "sshd", "sendmail -Ac -q15m", "dorv",
                 "ttymon -g -d /dev/console -l console -T sun -m ldterm,ttcompat", "ps -e -o user,args"}},
        ps_case{"ps/irix64-6.5.txt",
                {"sched", "init", "vhand", "bdflush", "munldd", "syslogd", "inetd", "sendmail -bd -q15m",
                 "cron", "rpcbind", "mediad", "gfxinit", "ps -e -o user,args"}}));

TEST(ParsePs, LinuxCaptureKeepsKernelThreadsWholeAndDropsOtherUsers)
{
    stderr_capture trace;
    int count = -1;
    kept_list kept = parse_all(fixture("ps/linux-procps.txt"), std::string("nginx"), &count);
    ASSERT_EQ(kept.size(), 44u);
    EXPECT_EQ(kept[0], "init");
    EXPECT_EQ(kept[1], "[kthreadd]");
    EXPECT_EQ(kept[8], "[kworker/0:0-cgroup_pidlist_destroy]");
    EXPECT_EQ(kept[34], "sshd: /usr/sbin/sshd -D [listener] 0 of 10-100 startups");
    EXPECT_EQ(kept[36], "containerd --config {\"root\": \"/var/lib/containerd\", \"debug\": false}");
    EXPECT_EQ(kept[37], "backup.sh #nightly --target /srv");
    EXPECT_EQ(kept.back(), "ps -ax -o user,args");
    // The master is root's; the worker is www-data's and does not count.
    EXPECT_EQ(count, 1);
}

// BusyBox's "ps -o user,args": every process, kernel threads in brackets.
TEST(ParsePs, BusyBoxCapture)
{
    stderr_capture trace;
    int count = -1;
    kept_list kept = parse_all(fixture("ps/busybox-1.35.txt"), std::string("gmake -s"), &count);
    ASSERT_EQ(kept.size(), 87u);
    EXPECT_EQ(kept.front(), "[kthreadd]");
    EXPECT_EQ(kept[1], "[pool_workqueue_]");
    EXPECT_EQ(kept.back(), "busybox ps -o user,args");
    EXPECT_EQ(std::count(kept.begin(), kept.end(), "gmake -f Makefile -j2"), 4);
    EXPECT_EQ(count, 12);
}

TEST(ParsePs, MatchCountsByPrefix)
{
    std::string text = fixture("ps/freebsd-13.txt");
    struct {
        const char* name;
        int count;
    } cases[] = {
        {"cron", 1}, {"cr", 1},    {"cron -s", 1}, {"cron -s ", 0}, {"/usr/sbin/cron", 0},  {"httpd", 1},
        {"sshd", 3}, {"[intr", 2}, {"Cron", 0},    {"", 24},        {"sendmail: Queue", 0}, {"dorv", 1},
    };
    stderr_capture trace;
    for (const auto& c : cases) {
        int count = -1;
        parse_all(text, std::string(c.name), &count);
        EXPECT_EQ(count, c.count) << '"' << c.name << '"';
    }
}

TEST(ParsePs, HeaderOnlyOrNothing)
{
    stderr_capture trace;
    int count = -1;
    EXPECT_TRUE(parse_all("USER COMMAND\n", std::string(""), &count).empty());
    EXPECT_EQ(count, 0);
    EXPECT_TRUE(parse_all("", std::string(""), &count).empty());
    EXPECT_EQ(count, 0);
    // The first line is dropped whatever it holds.
    EXPECT_EQ(parse_all("root /usr/sbin/cron\nroot /bin/sh\n", std::string(""), &count), kept_list{"sh"});
}

TEST(ParsePs, ListKeepsCapacityLessOneButCountsEveryLine)
{
    stderr_capture trace;
    std::string text = "USER COMMAND\n";
    for (int i = 0; i < 6; ++i)
        text += "root /usr/sbin/cron -" + std::to_string(i) + "\n";
    int count = -1;
    EXPECT_EQ(parse_all(text, std::string("cron"), &count, 4), (kept_list{"cron -0", "cron -1", "cron -2"}));
    EXPECT_EQ(count, 6);
}

TEST(ParsePs, LongLineIsReadInPieces)
{
    stderr_capture trace;
    // The first piece holds 16383 characters; the rest is a line of its own.
    std::string first = "root /opt/" + std::string(16383 - 10, 'a');
    std::string text = "USER COMMAND\n" + first + "dorv tail\nroot cron\n";
    int count = -1;
    kept_list kept = parse_all(text, std::string("a"), &count);
    ASSERT_EQ(kept.size(), 3u);
    EXPECT_EQ(kept[0], std::string(16383 - 10, 'a'));
    EXPECT_EQ(kept[1], "tail");
    EXPECT_EQ(kept[2], "cron");
    EXPECT_EQ(count, 1);
}

TEST(ParsePs, TracesEveryLineOfRootAndDorvAsRead)
{
    stderr_capture trace;
    int count = -1;
    parse_all(
        "USER COMMAND\n  root   /usr/sbin/cron -s  \nwww /usr/sbin/httpd\ndorv [idle]\nrooter x\nroot\n",
        std::nullopt, &count);
    EXPECT_EQ(trace.text(), "user: root, command: </usr/sbin/cron -s  >\n"
                            "user: dorv, command: <[idle]>\n"
                            "user: root, command: <>\n");
}

class FakePs : public ::testing::Test {
  protected:
    void SetUp() override { session_forms() = {}; }
    void TearDown() override { session_forms() = {}; }
    void ps_prints(const std::string& text) { fake.printing("ps", text); }
    void run(const std::string& key, const std::string& name)
    {
        param_array arg;
        array_add(arg, key, 0, name);
        status = -1;
        result = "No result";
        run_processes(arg, status, result);
    }
    fake_commands fake{first_on_path};
    stderr_capture trace;
    int status = -1;
    std::string result;
};

TEST_F(FakePs, RunnerCountsEveryMatch)
{
    ps_prints("USER COMMAND\nroot /usr/sbin/cron -s\nroot /usr/bin/crontab -e\nwww /usr/sbin/cron\n");
    run("Select Process", "cron");
    EXPECT_EQ(status, 2);
    EXPECT_EQ(result, "Process cron is running");
    run("Select Process", "crontab");
    EXPECT_EQ(status, 1);
    run("Select Process", "/usr/sbin/cron");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, "Process /usr/sbin/cron is not running");
}

TEST_F(FakePs, RunnerUsesThePsOfThisSystem)
{
    ps_prints("USER COMMAND\n");
    run("Select Process", "x");
    utsname u;
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ("ps " + fake.args_of("ps"), ps_command(u.sysname));
}

TEST_F(FakePs, RunnerWithAnotherKeyLeavesStatusAndResult)
{
    ps_prints("USER COMMAND\nroot cron\n");
    for (const char* key : {"select process", "Select Process ", "Process"}) {
        run(key, "cron");
        EXPECT_EQ(status, -1) << key;
        EXPECT_EQ(result, "No result") << key;
    }
    param_array none;
    run_processes(none, status, result);
    EXPECT_EQ(status, -1);
}

TEST_F(FakePs, PsPrintingNothingGivesItsCauseAndAnEmptyList)
{
    fake.script("ps", "exit 1\n");
    run("Select Process", "cron");
    EXPECT_EQ(status, -1);
    utsname u;
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ(result, ps_command(u.sysname) + " printed nothing, not even its header line (exit status 1)");
    param_array p;
    params_processes(p);
    EXPECT_EQ(dorv_pack(p),
              "#paramname1=Select Process#paramtype1=listcombo#valuecount=0#atbutton_paramcount=1#"
              "atbutton_param1=Select Process#");
}

// BusyBox's ps rejects "-ax" with its usage text and lists every process without it; once
// it has, the session asks it without "-ax" only. A ps that prints its header, or that is
// not there, is not asked twice.
TEST_F(FakePs, PsRejectingAxIsRunWithoutIt)
{
    utsname u;
    ASSERT_EQ(::uname(&u), 0);
    if (ps_command(u.sysname) != "ps -ax -o user,args")
        GTEST_SKIP() << "this system's ps takes -e";
    const std::string busybox = "if [ $1 = -ax ]; then cat '" + fixture_path("ps/busybox-1.35-ax-usage.txt") +
                                "' >&2; exit 1; fi; cat '" + fixture_path("ps/busybox-1.35.txt") + "'\n";
    const struct {
        std::string body;
        int runs;
        const char* args;
    } cases[] = {
        {busybox, 2, "-ax -o user,args\n-o user,args\n-o user,args\n"},
        {"echo USER; exit 1\n", 1, "-ax -o user,args\n"},
        {"exit 127\n", 1, "-ax -o user,args\n"},
        {"exit 127\n", 2, "-ax -o user,args\n-ax -o user,args\n"},
    };
    for (const auto& c : cases) {
        session_forms() = {};
        ::unlink(fake.path("ps.args").c_str());
        fake.script("ps", "echo \"$*\" >> '" + fake.path("ps.args") + "'\n" + c.body);
        for (int i = 0; i < c.runs; ++i)
            run("Select Process", "[kthreadd]");
        EXPECT_EQ(read_file(fake.path("ps.args")), c.args) << c.body;
    }
    EXPECT_EQ(result, "ps -ax -o user,args printed nothing, not even its header line (exit status 127: "
                      "command not found)");
    fake.script("ps", busybox);
    run("Select Process", "[kthreadd]");
    EXPECT_EQ(result, "Process [kthreadd] is running");
}

TEST_F(FakePs, BuilderListsKeptTextsCutBeforeQuoteOrHash)
{
    ps_prints("USER COMMAND\n"
              "root /usr/sbin/cron -s\n"
              "root /usr/bin/containerd --config {\"root\": \"/var/lib\"}\n"
              "root /usr/local/bin/backup.sh #nightly\n"
              "www /usr/sbin/httpd\n"
              "root /bin/sh -c a=1\n"
              "root /usr/sbin/cron -s\n"
              "root /bin/\"quoted\"\n");
    param_array p;
    int n = params_processes(p);
    EXPECT_EQ(n, p.size());
    EXPECT_EQ(dorv_pack(p), "#paramname1=Select Process#paramtype1=listcombo#valuecount=6#"
                            "value1=cron -s#value2=containerd --config {#value3=backup.sh #value4=sh -c a=1#"
                            "value5=cron -s#value6=#atbutton_paramcount=1#atbutton_param1=Select Process#");
    // A cut value still selects its process.
    run("Select Process", "containerd --config {");
    EXPECT_EQ(status, 1);
    run("Select Process", "backup.sh ");
    EXPECT_EQ(status, 1);
}

} // namespace

namespace {

TEST(ProcessUsers, ListStarOrDefault)
{
    struct {
        const char* text;
        bool everyone;
        std::vector<std::string> names;
    } const cases[] = {
        {"root,dorv", false, {"root", "dorv"}},
        {" postgres , root ", false, {"postgres", "root"}},
        {"postgres,,", false, {"postgres"}},
        {"*", true, {}},
        {"root,*", true, {"root"}},
        {"", false, {"root", "dorv"}},
        {" , ", false, {"root", "dorv"}},
    };
    for (const auto& c : cases) {
        process_users u = parse_process_users(c.text);
        EXPECT_EQ(u.everyone, c.everyone) << c.text;
        EXPECT_EQ(u.names, c.names) << c.text;
    }
    EXPECT_TRUE(parse_process_users("*").has("www"));
    EXPECT_FALSE(parse_process_users("postgres").has("root"));
}

TEST_F(FakePs, ConfiguredUsersAreListedAndCounted)
{
    dorv_test::temp_file config("[agent]\nprocess_users=postgres\n");
    std::string saved = g_config_path;
    g_config_path = config.path();
    ps_prints("USER COMMAND\nroot /usr/sbin/cron\npostgres /usr/lib/postgresql/15/bin/postgres -D /var\n");
    run("Select Process", "postgres");
    EXPECT_EQ(status, 1);
    run("Select Process", "cron");
    EXPECT_EQ(status, 0);
    g_config_path = saved;
    run("Select Process", "postgres");
    EXPECT_EQ(status, 0);
}

} // namespace
