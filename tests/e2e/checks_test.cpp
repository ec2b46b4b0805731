// The five checks through the real agent: with this host's own commands, and with fake
// commands first on PATH to pin exact replies.
#include <gtest/gtest.h>
#include <signal.h>
#include <sys/utsname.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <sstream>

#include "e2e/agent_harness.h"
#include "probes/processes.h"
#include "protocol/header.h"
#include "protocol/packet.h"
#include "support/check_list.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/host_reading.h"
#include "support/process.h"

using namespace dorv_test;

namespace {

// The reply's own pairs, after the three header pairs.
dorv::param_array own_pairs(const std::string& packet)
{
    dorv::param_array all, own;
    if (packet.empty() || packet[0] != '#' || dorv::dorv_unpack(packet, all) == 0)
        return own;
    for (int i = 3; i < all.pairs(); ++i)
        dorv::array_add(own, all.key(i), 0, all.value(i));
    return own;
}

std::string header(const std::string& action, int own, agent& a)
{
    return dorv::packet_header(dorv::header_side::response, action, a.session_id(), own);
}

std::string runcheck(agent& a, const std::string& check, const std::string& para)
{
    return a.request("runcheck", "checkid=" + check + "#para=\"" + para + "\"#");
}

// The inner list of a "parameters" reply: checks it is well formed and returns its values.
std::vector<std::string> combo_values(const std::string& packet, const std::string& action)
{
    std::vector<std::string> values;
    EXPECT_LE(packet.size(), 16383u);
    dorv::param_array own = own_pairs(packet);
    EXPECT_EQ(own.pairs(), 2) << action;
    if (own.pairs() != 2)
        return values;
    dorv::param_array inner;
    EXPECT_GT(dorv::dorv_unpack(own.value(1), inner), 0);
    int first = -1;
    for (int i = 0; i < inner.pairs(); ++i)
        if (inner.key(i) == "valuecount")
            first = i + 1;
    EXPECT_GE(first, 0);
    if (first < 0)
        return values;
    int n = std::stoi(inner.value(first - 1));
    for (int k = 0; k < n && first + k < inner.pairs(); ++k) {
        EXPECT_EQ(inner.key(first + k), "value" + std::to_string(k + 1));
        values.push_back(inner.value(first + k));
    }
    EXPECT_EQ(static_cast<int>(values.size()), n);
    EXPECT_EQ(inner.key(first + n), "atbutton_paramcount");
    return values;
}

// ---- this host's own commands ----

TEST(RealCommands, CpuLoadFromVmstat)
{
    agent a;
    a.login();
    // vmstat run by the test over the same second as the agent's own, for comparison.
    FILE* side = ::popen("vmstat 1 2 | tail -1", "r");
    std::string up = runcheck(a, "CPU", "#Load Limit [%]=200#");
    std::string vmstat;
    if (side) {
        char buf[512];
        while (std::fgets(buf, sizeof buf, side))
            vmstat += buf;
        ::pclose(side);
    }
    dorv::param_array r = own_pairs(up);
    ASSERT_EQ(r.pairs(), 3) << up;
    EXPECT_EQ(r.value(1), "up");
    ASSERT_EQ(r.value(2).rfind("CPU load is ", 0), 0u) << up;
    int load = std::stoi(r.value(2).substr(12));
    // vmstat rounds each column by itself: us + sy can show 101.
    EXPECT_GE(load, 0);
    EXPECT_LE(load, 101);
    std::cout << "agent: " << r.value(2) << "; vmstat alongside: " << vmstat;

    std::string down = runcheck(a, "CPU", "#Load Limit [%]=-1#");
    dorv::param_array d = own_pairs(down);
    ASSERT_EQ(d.pairs(), 3) << down;
    EXPECT_EQ(d.value(1), "down");
    EXPECT_NE(d.value(2).find(" out of Limit -1"), std::string::npos) << down;
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST(RealCommands, DiskSpaceListsWhatDfListsAndReadsItsFigure)
{
    agent a;
    a.login();
    std::vector<std::pair<std::string, int>> df = host_df();
    std::vector<std::string> points;
    for (const auto& [p, used] : df)
        points.push_back(p);
    EXPECT_EQ(combo_values(a.request("definecheck", "checkid=DiskSpace#"), "definecheck"), points);

    auto root_used_now = [] {
        for (const auto& [p, used] : host_df())
            if (p == "/")
                return used;
        return -1;
    };
    // The share of / may move while the agent reads it: take a reading that df shows both
    // before and after.
    int root_used = -1;
    std::string reply;
    for (int attempt = 0; attempt < 3; ++attempt) {
        root_used = root_used_now();
        ASSERT_GE(root_used, 0) << "df lists no /";
        reply = runcheck(a, "DiskSpace", "#Disk Free Limit [%]=0#Disks=/#");
        if (root_used_now() == root_used)
            break;
    }
    std::cout << "agent: " << reply.substr(reply.find("#checkid")) << "; df: / " << root_used << "%\n";
    std::string expect_up = header("runcheck", 3, a) +
                            "#checkid=DiskSpace#result=up#resultstring=Disk / is " +
                            std::to_string(root_used) + "% used#";
    EXPECT_EQ(reply, expect_up);
    std::string down =
        runcheck(a, "DiskSpace", "#Disk Free Limit [%]=" + std::to_string(100 - root_used) + "#Disks=/#");
    EXPECT_EQ(down, header("runcheck", 3, a) +
                        "#checkid=DiskSpace#result=down#resultstring=Out of disk space on disk /: " +
                        std::to_string(root_used) + "% used#");
}

TEST(RealCommands, ProcessesSeesASleepOfRoot)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "only processes of root and dorv count";
    // A number of its own, so that agents tested side by side do not see each other's sleep.
    std::string seconds = std::to_string(1000000 + ::getpid());
    std::string sleep = "sleep " + seconds;
    // The sleep ends with the test, also when an assertion leaves it early.
    launch how;
    how.argv = {"sleep", seconds};
    how.program = "/bin/sleep";
    process sleeping(how);
    ASSERT_GT(sleeping.pid(), 0);
    ASSERT_TRUE(shows_argv(sleeping.pid(), how.argv));
    agent a;
    a.login();
    std::vector<std::string> values =
        combo_values(a.request("getcomboparamvalues", "checkid=Processes#"), "getcombo");
    EXPECT_NE(std::find(values.begin(), values.end(), sleep), values.end());
    for (const auto& v : values)
        EXPECT_EQ(v.find_first_of("\"#"), std::string::npos) << v;
    std::string ps = output_of("ps -ax -o user,args | grep -c '^root  *" + sleep + "$'");
    EXPECT_EQ(ps, "1\n");
    std::string prefix = sleep.substr(0, sleep.size() - 1);
    std::string up = runcheck(a, "Processes", "#Select Process=" + prefix + "#");
    EXPECT_EQ(up, header("runcheck", 3, a) + "#checkid=Processes#result=up#resultstring=Process " + prefix +
                      " is running#");
    EXPECT_NE(a.trace().find("user: root, command: <" + sleep + ">\n"), std::string::npos);

    sleeping.stop(SIGKILL);
    std::string down = runcheck(a, "Processes", "#Select Process=" + sleep + "#");
    EXPECT_EQ(down, header("runcheck", 3, a) + "#checkid=Processes#result=down#resultstring=Process " +
                        sleep + " is not running#");
    std::cout << "processes listed: " << values.size() << "\n";
}

// ---- fake commands first on PATH ----

class FakeCommands : public ::testing::Test {
  protected:
    void SetUp() override
    {
        print("vmstat", fixture("vmstat/freebsd-example.txt"));
        print("ps", fixture("ps/freebsd-13.txt"));
        print("top", "");
    }
    // A command that records its arguments and prints text.
    void print(const std::string& name, const std::string& text) { fake_.printing(name, text); }
    // The arguments of its last run, with their line feed.
    std::string args_of(const std::string& name) { return read_file(fake_.path(name + ".args")); }
    agent_options options()
    {
        agent_options o;
        o.path_prefix = {bin};
        return o;
    }
    fake_commands fake_;
    const std::string bin = fake_.dir();
};

TEST_F(FakeCommands, ListchecksGivesEveryCheck)
{
    agent a(options());
    a.login();
    std::string expect = header("listchecks", listchecks_pair_count(), a) + listchecks_pairs();
    EXPECT_EQ(a.request("listchecks", ""), expect);
    EXPECT_EQ(a.request("listchecks", "checkid=CPU#"), expect);
}

TEST_F(FakeCommands, ExactDescriptorLists)
{
    agent a(options());
    a.login();
    struct {
        const char* check;
        std::string packed;
    } cases[] = {
        {"CPU", "#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#"},
        {"RAM", "#paramname1=Free RAM Limit [%]#paramtype1=longinteger#maxlength1=100#"},
        {"Swap", "#paramname1=Free Swap Limit [%]#paramtype1=longinteger#maxlength1=100#"},
        {"Processes",
         "#paramname1=Select Process#paramtype1=listcombo#valuecount=24#value1=[kernel]#value2=init --#"
         "value3=[KSTACK]#value4=[rand_harvestq]#value5=[pagedaemon]#value6=[vmdaemon]#value7=[bufdaemon]#"
         "value8=[syncer]#value9=[idle]#value10=[intr]#value11=[geom]#value12=[intr/0]#value13=devd#"
         "value14=syslogd -s#value15=sh /etc/rc autoboot#value16=cron -s#value17=sshd#"
         "value18=sendmail: accepting connections (sendmail)#value19=getty Pc ttyv0#"
         "value20=sshd: dorv [priv] (sshd)#value21=sshd: dorv@notty (sshd)#value22=dorv#"
         "value23=httpd -DNOHTTPACCEPT#value24=ps -ax -o user,args#atbutton_paramcount=1#"
         "atbutton_param1=Select Process#"},
    };
    for (const auto& c : cases) {
        for (const char* action : {"definecheck", "getcomboparamvalues"}) {
            std::string reply = a.request(action, std::string("checkid=") + c.check + "#");
            EXPECT_EQ(reply,
                      header(action, 2, a) + "#checkid=" + c.check + "#parameters=\"" + c.packed + "\"#")
                << action << " " << c.check;
        }
    }
}

TEST_F(FakeCommands, CpuUpAndDown)
{
    agent a(options());
    a.login();
    EXPECT_EQ(runcheck(a, "CPU", "#Load Limit [%]=80#"),
              header("runcheck", 3, a) + "#checkid=CPU#result=up#resultstring=CPU load is 15#");
    EXPECT_EQ(runcheck(a, "CPU", "#Load Limit [%]=15#"),
              header("runcheck", 3, a) + "#checkid=CPU#result=up#resultstring=CPU load is 15#");
    EXPECT_EQ(runcheck(a, "CPU", "#Load Limit [%]=10#"),
              header("runcheck", 3, a) +
                  "#checkid=CPU#result=down#resultstring=CPU load 15 out of Limit 10#");
    EXPECT_EQ(args_of("vmstat"), "1 2\n");
    // The procps layout of this kind of host: "us sy id wa st" over "... 90 10  0  0  0".
    print("vmstat", fixture("vmstat/linux-procps.txt"));
    EXPECT_EQ(runcheck(a, "CPU", "#Load Limit [%]=99#"),
              header("runcheck", 3, a) +
                  "#checkid=CPU#result=down#resultstring=CPU load 100 out of Limit 99#");
}

TEST_F(FakeCommands, ProcessesUpDownPsVariantAndTrace)
{
    agent a(options());
    a.login();
    EXPECT_EQ(runcheck(a, "Processes", "#Select Process=sshd#"),
              header("runcheck", 3, a) +
                  "#checkid=Processes#result=up#resultstring=Process sshd is running#");
    EXPECT_EQ(runcheck(a, "Processes", "#Select Process=/usr/sbin/cron#"),
              header("runcheck", 3, a) +
                  "#checkid=Processes#result=down#resultstring=Process /usr/sbin/cron is not running#");
    utsname u;
    ASSERT_EQ(::uname(&u), 0);
    EXPECT_EQ("ps " + args_of("ps"), dorv::ps_command(u.sysname) + "\n");
    std::string trace = a.trace();
    EXPECT_NE(trace.find("user: root, command: </usr/sbin/cron -s>\n"), std::string::npos);
    EXPECT_NE(trace.find("user: root, command: <[intr/0]>\n"), std::string::npos);
    EXPECT_NE(trace.find("user: dorv, command: <sshd: dorv@notty (sshd)>\n"), std::string::npos);
    EXPECT_EQ(trace.find("user: www"), std::string::npos);
    EXPECT_EQ(trace.find("user: smmsp"), std::string::npos);
}

TEST_F(FakeCommands, ProcessValuesAreCutBeforeQuoteOrHash)
{
    print("ps", "USER COMMAND\n"
                "root /usr/bin/containerd --config {\"root\": \"/var/lib/containerd\"}\n"
                "root /usr/local/bin/backup.sh #nightly\n"
                "root /usr/sbin/cron -s\n");
    agent a(options());
    a.login();
    std::string reply = a.request("definecheck", "checkid=Processes#");
    EXPECT_EQ(reply, header("definecheck", 2, a) +
                         "#checkid=Processes#parameters=\"#paramname1=Select Process#paramtype1=listcombo#"
                         "valuecount=3#value1=containerd --config {#value2=backup.sh #value3=cron -s#"
                         "atbutton_paramcount=1#atbutton_param1=Select Process#\"#");
    EXPECT_EQ(combo_values(reply, "definecheck"),
              (std::vector<std::string>{"containerd --config {", "backup.sh ", "cron -s"}));
    EXPECT_EQ(runcheck(a, "Processes", "#Select Process=containerd --config {#"),
              header("runcheck", 3, a) +
                  "#checkid=Processes#result=up#resultstring=Process containerd --config { is running#");
}

TEST_F(FakeCommands, ThreeThousandLongProcessLinesGiveAWellFormedReply)
{
    std::string text = "USER     COMMAND\n";
    std::vector<std::string> kept;
    for (int i = 0; i < 3000; ++i) {
        std::string k = "worker" + std::to_string(i) + " --spool /var/spool/queue/" + std::string(80, 'x');
        text += "root     /usr/local/libexec/" + k + "\n";
        kept.push_back(k);
    }
    print("ps", text);
    agent a(options());
    a.login();
    for (const char* action : {"definecheck", "getcomboparamvalues"}) {
        std::string reply = a.request(action, "checkid=Processes#");
        std::vector<std::string> values = combo_values(reply, action);
        ASSERT_GT(values.size(), 50u);
        ASSERT_LT(values.size(), 3000u);
        EXPECT_TRUE(std::equal(values.begin(), values.end(), kept.begin())) << action;
        // One more value would not have fitted.
        EXPECT_GT(reply.size() + kept[values.size()].size() + 8 + std::to_string(values.size() + 1).size(),
                  16383u);
    }
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST_F(FakeCommands, VeryLongProcessNameIsCutInTheResult)
{
    agent a(options());
    a.login();
    std::string name(16250, 'n');
    std::string reply = runcheck(a, "Processes", "#Select Process=" + name + "#");
    EXPECT_EQ(reply.size(), 16383u);
    dorv::param_array r = own_pairs(reply);
    ASSERT_EQ(r.pairs(), 3);
    EXPECT_EQ(r.value(1), "down");
    EXPECT_TRUE(r.value(2) == ("Process " + name).substr(0, r.value(2).size()));
    // The agent goes on answering.
    EXPECT_EQ(runcheck(a, "Processes", "#Select Process=cron#"),
              header("runcheck", 3, a) +
                  "#checkid=Processes#result=up#resultstring=Process cron is running#");
}

TEST_F(FakeCommands, NotFoundAndNoResult)
{
    agent a(options());
    a.login();
    for (const char* action : {"definecheck", "getcomboparamvalues"}) {
        for (const char* name : {"cpu", "CPU "})
            EXPECT_EQ(a.request(action, std::string("checkid=") + name + "#"),
                      header(action, 1, a) + "#errormessage=Check not found#");
    }
    EXPECT_EQ(runcheck(a, "Nosuch", "#Load Limit [%]=80#"),
              header("runcheck", 1, a) + "#errormessage=Check not found#");
    EXPECT_EQ(runcheck(a, "Processes", "#Process=sshd#"),
              header("runcheck", 1, a) + "#errormessage=No result#");
    EXPECT_EQ(runcheck(a, "CPU", "#load limit [%]=80#"),
              header("runcheck", 1, a) + "#errormessage=No result#");
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST_F(FakeCommands, MalformedRequestsEndTheAgent)
{
    struct {
        const char* action;
        const char* pairs;
        int status;
    } cases[] = {
        {"definecheck", "name=CPU#", 3},
        {"runcheck", "para=\"#Load Limit [%]=80#\"#checkid=CPU#", 4},
        {"runcheck", "checkid=CPU#param=\"#Load Limit [%]=80#\"#", 5},
        {"getcomboparamvalues", "name=CPU#", 6},
        {"runcheck", "checkid=Nosuch#para=x#", 8},
    };
    for (const auto& c : cases) {
        agent a(options());
        a.login();
        a.send(c.action, c.pairs);
        EXPECT_EQ(a.read_packet(std::chrono::seconds(5)), "") << c.action << " " << c.pairs;
        EXPECT_EQ(a.wait(), c.status) << c.action << " " << c.pairs;
        // Nothing is traced after the request.
        std::string trace = a.trace();
        std::size_t last = trace.rfind("\n< [");
        ASSERT_NE(last, std::string::npos);
        EXPECT_EQ(trace.find('\n', last + 1), trace.size() - 1) << trace.substr(last);
    }
}

// ---- df at its fixed path, in a private mount namespace ----

TEST_F(FakeCommands, DiskSpaceWithAFakeBinDfInAPrivateMountNamespace)
{
    if (!private_mounts_work())
        GTEST_SKIP() << "needs root and unshare -m";
    print("df", fixture("df/freebsd-example.txt"));
    agent a(in_namespace(options(), bin, "mount --bind " + bin + "/df /bin/df"));
    ASSERT_NE(a.login(), "");
    for (const char* action : {"definecheck", "getcomboparamvalues"})
        EXPECT_EQ(
            a.request(action, "checkid=DiskSpace#"),
            header(action, 2, a) +
                "#checkid=DiskSpace#parameters=\"#paramname1=Disk Free Limit [%]#paramtype1=longinteger#"
                "maxlength1=100#paramname2=Disks#paramtype2=listcombo#valuecount=4#value1=/#value2=/dev#"
                "value3=/tmp#value4=/usr#atbutton_paramcount=1#atbutton_param1=Disks#\"#");
    EXPECT_EQ(runcheck(a, "DiskSpace", "#Disk Free Limit [%]=10#Disks=/usr#"),
              header("runcheck", 3, a) + "#checkid=DiskSpace#result=up#resultstring=Disk /usr is 63% used#");
    EXPECT_EQ(runcheck(a, "DiskSpace", "#Disk Free Limit [%]=37#Disks=/usr#"),
              header("runcheck", 3, a) +
                  "#checkid=DiskSpace#result=down#resultstring=Out of disk space on disk /usr: 63% used#");
    EXPECT_EQ(runcheck(a, "DiskSpace", "#Disk Free Limit [%]=99#Disks=/home#"),
              header("runcheck", 3, a) +
                  "#checkid=DiskSpace#result=down#resultstring=Disk /home is not mounted#");
    EXPECT_EQ(args_of("df"), "\n");
    // The real df stays in place outside the namespace.
    EXPECT_NE(output_of("/bin/df"), fixture("df/freebsd-example.txt"));
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST_F(FakeCommands, MountPointsThatWouldBreakTheReplyAreNotListed)
{
    if (!private_mounts_work())
        GTEST_SKIP() << "needs root and unshare -m";
    print("df", "Filesystem 1K-blocks Used Available Use% Mounted on\n"
                "/dev/sda1 100 50 50 50% /\n"
                "/dev/sdb1 100 10 90 10% /mnt/a\"b\n"
                "/dev/sdc1 100 10 90 10% /mnt/c#d\n"
                "/dev/sdd1 100 20 80 20% /srv/e f\n");
    agent a(in_namespace(options(), bin, "mount --bind " + bin + "/df /bin/df"));
    ASSERT_NE(a.login(), "");
    EXPECT_EQ(combo_values(a.request("definecheck", "checkid=DiskSpace#"), "definecheck"),
              (std::vector<std::string>{"/", "/srv/e f"}));
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST_F(FakeCommands, XpgDfIsPreferredWhereItExists)
{
    if (!private_mounts_work())
        GTEST_SKIP() << "needs root and unshare -m";
    // /usr/xpg4/bin/df appears only in the agent's namespace, through an overlay on /usr.
    print("df", fixture("df/sunos-xpg4-P.txt"));
    std::string upper = bin + "/upper/xpg4/bin";
    ASSERT_EQ(
        std::system(("mkdir -p '" + upper + "' '" + bin + "/work' && cp '" + bin + "/df' '" + upper + "/df'")
                        .c_str()),
        0);
    agent a(in_namespace(options(), bin,
                         "mount -t overlay overlay -o lowerdir=/usr,upperdir=" + bin +
                             "/upper,workdir=" + bin + "/work /usr"));
    ASSERT_NE(a.login(), "");
    std::vector<std::string> values =
        combo_values(a.request("definecheck", "checkid=DiskSpace#"), "definecheck");
    EXPECT_EQ(values.size(), 13u);
    EXPECT_EQ(args_of("df"), "-P\n");
    EXPECT_EQ(runcheck(a, "DiskSpace", "#Disk Free Limit [%]=50#Disks=/#"),
              header("runcheck", 3, a) +
                  "#checkid=DiskSpace#result=down#resultstring=Out of disk space on disk /: 55% used#");
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

} // namespace
