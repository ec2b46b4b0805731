// Checks of the administrator's own through the real agent: real monitoring plugins for
// each state, their performance data and long output; fake plugins that print bytes a
// packet cannot carry, print 10 MB, hang or are killed; and values that must be refused
// before anything runs.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <iostream>

#include "checks/plugin_result.h"
#include "e2e/agent_harness.h"
#include "protocol/packet.h"
#include "protocol/plugin_reply.h"
#include "support/fake_command.h"
#include "support/host_reading.h"
#include "support/process.h"

using namespace dorv_test;

namespace {

const std::string plugins = "/usr/lib/nagios/plugins/";

bool have_plugins()
{
    return ::access((plugins + "check_dummy").c_str(), X_OK) == 0;
}

// The reply's own pairs, after the three header pairs; values of the plugin's own turned
// back from their escapes.
std::map<std::string, std::string> reply_of(const std::string& packet)
{
    std::map<std::string, std::string> own;
    dorv::param_array all;
    if (packet.empty() || packet[0] != '#' || dorv::unpack_packet(packet, all).count == 0)
        return own;
    for (int i = 3; i < all.pairs(); ++i)
        own[all.key(i)] = dorv::unescape_plugin_text(all.value(i));
    return own;
}

std::map<std::string, std::string> run(agent& a, const std::string& check, const std::string& para)
{
    std::string packet = a.request("runcheck", "checkid=" + check + "#para=\"" + para + "\"#");
    EXPECT_LE(packet.size(), 16383u);
    return reply_of(packet);
}

agent_options configured(const std::string& config)
{
    agent_options o;
    o.config = config;
    return o;
}

// Configured checks run only from files and programs of root's, as the tests' are when
// they run as root.
class OwnChecks : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the test's files would not be root's";
    }
};

} // namespace

TEST_F(OwnChecks, RealPluginsAnswerEachStateWithTheirText)
{
    if (!have_plugins())
        GTEST_SKIP() << "monitoring-plugins-basic is not installed";
    agent a(configured("[check:Dummy]\ncommand=" + plugins +
                       "check_dummy {Code} '{Text}'\nnumber=Code\n"
                       "list=Text: all fine, disk nearly full\n"));
    a.login();
    struct row {
        std::string code, result, state, text;
    };
    const row rows[] = {
        {"0", "up", "ok", "OK: all fine"},
        {"1", "up", "warning", "WARNING: all fine"},
        {"2", "down", "critical", "CRITICAL: all fine"},
        {"3", "", "unknown", "UNKNOWN: all fine"},
        {"4", "", "unknown", "UNKNOWN: Status 4 is not a supported error state"},
    };
    for (const auto& r : rows) {
        auto reply = run(a, "Dummy", "#Code=" + r.code + "#Text=all fine#");
        EXPECT_EQ(reply["state"], r.state) << r.code;
        if (r.result.empty()) {
            EXPECT_EQ(reply["errormessage"], r.text);
            EXPECT_EQ(reply.size(), 2u);
        } else {
            EXPECT_EQ(reply["checkid"], "Dummy");
            EXPECT_EQ(reply["result"], r.result);
            EXPECT_EQ(reply["resultstring"], r.text);
            EXPECT_EQ(reply["perfdata"], "");
            EXPECT_EQ(reply["longoutput"], "");
        }
    }
}

TEST_F(OwnChecks, PerformanceDataAndLongOutputOfRealPluginsArriveWhole)
{
    if (!have_plugins())
        GTEST_SKIP() << "monitoring-plugins-basic is not installed";
    agent a(configured("[check:Users]\ncommand=" + plugins +
                       "check_users -w {Warn} -c 2000\nnumber=Warn\n"
                       "[check:Apt]\ncommand=" +
                       plugins + "check_apt -l -t 100\ntimeout=110\n"));
    a.login();
    dorv::plugin_parts users = dorv::split_plugin_output(output_of(plugins + "check_users -w 1000 -c 2000"));
    auto reply = run(a, "Users", "#Warn=1000#");
    EXPECT_EQ(reply["resultstring"], users.text);
    EXPECT_EQ(reply["perfdata"], users.perfdata);
    EXPECT_NE(users.perfdata.find("users="), std::string::npos);

    // check_apt reads the package lists: seconds, and more on a loaded host, where its own
    // 10 s default would end it.
    dorv::plugin_parts apt = dorv::split_plugin_output(output_of(plugins + "check_apt -l -t 100"));
    a.send("runcheck", "checkid=Apt#para=\"#\"#");
    reply = reply_of(a.read_packet(std::chrono::seconds(120)));
    EXPECT_EQ(reply["resultstring"], apt.text);
    EXPECT_EQ(reply["perfdata"], apt.perfdata);
    EXPECT_EQ(reply["longoutput"].substr(0, 200), apt.long_output.substr(0, 200));
}

TEST_F(OwnChecks, BytesAPacketCannotCarryTravelEscapedAndTurnBack)
{
    fake_commands fake;
    fake.script("odd", "printf 'A#B\"C\\000D\\\\x23 | x#=1\\nlong #1\\n\"2\"\\n'\n");
    agent a(configured("[check:Odd]\ncommand=" + fake.path("odd") + "\n"));
    a.login();
    auto reply = run(a, "Odd", "#");
    EXPECT_EQ(reply["resultstring"], std::string("A#B\"C\0D\\x23", 11));
    EXPECT_EQ(reply["perfdata"], "x#=1");
    EXPECT_EQ(reply["longoutput"], "long #1\n\"2\"");
    EXPECT_EQ(reply.size(), 6u);
}

TEST_F(OwnChecks, PluginGetsNoShellNoInputAFixedEnvironmentAndItsErrorsGoToTheTrace)
{
    fake_commands fake;
    fake.script("talk", "read line; echo \"input [$line] $#: $1\"\n"
                        "printf 'to-the-trace\\n\\033[31mred\\n> #fake#\\n' >&2\n"
                        "head -c 10000000 /dev/zero >&2\n");
    agent a(configured("[check:Env]\ncommand=/usr/bin/env\n[check:Talk]\ncommand=" + fake.path("talk") +
                       " '{V}'\nlist=V: a b;$(id)\n"));
    a.login();
    auto reply = run(a, "Env", "#");
    EXPECT_EQ(reply["resultstring"].substr(0, 5), "PATH=");
    EXPECT_EQ(reply["longoutput"], "LC_ALL=C");
    reply = run(a, "Talk", "#V=a b;$(id)#");
    EXPECT_EQ(reply["resultstring"], "input [] 1: a b;$(id)");
    // Its error output arrives as one escaped line, cut short; no line of its own.
    EXPECT_TRUE(a.wait_trace(fake.path("talk") +
                             " wrote to its error output: to-the-trace\\n\\x1b[31mred\\n> #fake#\\n\\x00"));
    EXPECT_TRUE(a.wait_trace(" (9999007 more bytes left out)\n"));
    EXPECT_EQ(a.trace().find("\n> #fake#"), std::string::npos);
    EXPECT_LT(a.trace().size(), 100000u);
}

TEST_F(OwnChecks, ShellPayloadsAreRefusedForNumbersAndListsAndNothingRuns)
{
    fake_commands fake;
    const std::string ran = fake.path("ran");
    fake.script("plant", "echo \"$@\" >> '" + ran + "'\necho OK\n");
    fake.script("values", "echo a\necho b\n");
    agent a(configured("[check:Num]\ncommand=" + fake.path("plant") +
                       " {N}\nnumber=N\n"
                       "[check:List]\ncommand=" +
                       fake.path("plant") +
                       " {L}\nlist=L: a, b\n"
                       "[check:From]\ncommand=" +
                       fake.path("plant") + " x{F}\nlist-from=F: " + fake.path("values") + "\n"));
    a.login();
    const char* payloads[] = {"$(id)", "`id`",  "1;id", "a;id",         "1|id", "a|id",   "1&&id", "a && id",
                              "1\nid", "a\nid", "../a", "../../bin/sh", "-1x",  "--help", "-a",    " 1",
                              "1 ",    "",      "A"};
    for (const char* p : payloads) {
        for (const auto& [check, name] : {std::pair{"Num", "N"}, {"List", "L"}, {"From", "F"}}) {
            auto reply = run(a, check, std::string("#") + name + "=" + p + "#");
            EXPECT_NE(reply["errormessage"].find(std::string("Parameter '") + name + "'"), std::string::npos)
                << check << " " << p;
            EXPECT_EQ(reply["state"], "unknown");
        }
    }
    auto missing = run(a, "Num", "#Other=1#");
    EXPECT_EQ(missing["errormessage"], "Parameter 'N' has no value");
    EXPECT_FALSE(std::ifstream(ran).good()) << "the planted command ran";
    // The same checks with good values do run it.
    EXPECT_EQ(run(a, "Num", "#N=-12#")["resultstring"], "OK");
    EXPECT_EQ(run(a, "List", "#L=b#")["resultstring"], "OK");
    EXPECT_EQ(run(a, "From", "#F=a#")["resultstring"], "OK");
    EXPECT_EQ(read_file(ran), "-12\nb\nxa\n");
}

TEST_F(OwnChecks, HangingKilledAndBackgroundedPluginsLeaveNothingBehind)
{
    fake_commands fake;
    fake.script("hang", "echo $$ > '" + fake.path("hang.pid") + "'\nexec sleep 600\n");
    fake.script("killed", "echo partial\nkill -9 $$\n");
    // The daemon tells its number once it has left the group: the plugin ends only then.
    fake.script("bg", "sleep 600 &\necho $! > '" + fake.path("bg.pid") + "'\nmkfifo '" + fake.path("up") +
                          "'\nsetsid sh -c 'echo $$ > " + fake.path("up") +
                          "; exec sleep 600' >/dev/null 2>&1 &\n" + "read pid < '" + fake.path("up") +
                          "'\necho $pid > '" + fake.path("daemon.pid") + "'\necho OK\n");
    std::ofstream(fake.path("noshebang")) << "echo OK\n";
    ::chmod(fake.path("noshebang").c_str(), 0755);
    agent a(configured("[check:Hang]\ncommand=" + fake.path("hang") +
                       "\ntimeout=1\n[check:Killed]\ncommand=" + fake.path("killed") +
                       "\n[check:Bg]\ncommand=" + fake.path("bg") +
                       "\n[check:Plain]\ncommand=" + fake.path("noshebang") + "\n"));
    a.login();
    auto reply = run(a, "Hang", "#");
    EXPECT_EQ(reply["errormessage"], fake.path("hang") + " did not finish within 1 s");
    EXPECT_TRUE(ends_soon(read_file(fake.path("hang.pid"))));
    reply = run(a, "Killed", "#");
    EXPECT_EQ(reply["errormessage"], fake.path("killed") + " was ended by signal 9 (Killed)");
    reply = run(a, "Bg", "#");
    EXPECT_EQ(reply["resultstring"], "OK");
    EXPECT_TRUE(ends_soon(read_file(fake.path("bg.pid"))));
    EXPECT_TRUE(ends_soon(read_file(fake.path("daemon.pid"))))
        << "left the group: " << read_file(fake.path("daemon.pid"));
    reply = run(a, "Plain", "#"); // no shell reads a file the kernel cannot run
    EXPECT_EQ(reply["errormessage"], "cannot run " + fake.path("noshebang") + ": Exec format error");
}

TEST_F(OwnChecks, TenMegabytesOfOutputAreCutToOnePacketAndKeepTheAgentSmall)
{
    fake_commands fake;
    fake.script("flood", "head -c 10000000 /dev/zero | tr '\\000' 'x' | fold -w 100\n");
    std::string config = "[check:Flood]\ncommand=" + fake.path("flood") + "\n";
    std::optional<agent_options> shipped = shipped_agent(config, "127.0.0.1 40000 22");
    if (!shipped || std::getenv("DORV_MEMCHECK"))
        GTEST_SKIP() << "the shipped agent cannot be given a configuration here";
    agent a(*shipped);
    a.login();
    auto reply = run(a, "Flood", "#");
    EXPECT_EQ(reply["resultstring"], std::string(100, 'x'));
    EXPECT_GT(reply["longoutput"].size(), 15000u);
    EXPECT_EQ(reply["longoutput"].back(), 'x'); // whole lines
#if !defined(__SANITIZE_ADDRESS__)              // a memory checker's own memory is not the agent's
    long peak_kb = peak_rss_kb(a.pid());
    std::cout << "peak RSS (VmHWM) of the shipped agent after a plugin printed 10 MB: " << peak_kb << " kB\n";
    EXPECT_GT(peak_kb, 0);
    EXPECT_LT(peak_kb, 4096);
#endif
    EXPECT_EQ(run(a, "Flood", "#")["resultstring"], std::string(100, 'x')); // and it serves on
}

TEST_F(OwnChecks, ListedAfterTheBuiltInsDescribedAndReadFromDropInFiles)
{
    fake_commands fake;
    fake.script("mounts", "echo /\necho '/a#b'\necho\necho --help\necho /srv\n");
    agent a(configured("[check:Mount]\ndescription=A mount\ncommand=" + fake.path("mounts") +
                       " {M} {W}\n"
                       "number=W\nlist-from=M: " +
                       fake.path("mounts") + "\n[check:Gone]\ncommand=/nonexistent/p\n"));
    a.login();
    ::mkdir((a.dir() + "/etc/dorv/dorv.d").c_str(), 0755);
    std::ofstream(a.dir() + "/etc/dorv/dorv.d/10-more.ini")
        << "[check:More]\ncommand=/bin/true\n[firewall]\n*=1.2.3.4\n";
    std::ofstream(a.dir() + "/etc/dorv/dorv.d/README") << "[check:NotRead]\ncommand=/bin/true\n";
    std::string list = a.request("listchecks", "");
    EXPECT_NE(list.find("#checkcount=8#"), std::string::npos) << list;
    EXPECT_NE(
        list.find(
            "#available5=true#checkid6=Mount#checkdescription6=A mount#available6=true#checkid7=Gone#"
            "checkdescription7=p#available7=false#checkid8=More#checkdescription8=true#available8=true#"),
        std::string::npos)
        << list;
    std::string described = a.request("definecheck", "checkid=Mount#");
    EXPECT_NE(described.find("#parameters=\"#paramname1=W#paramtype1=longinteger#maxlength1=19#paramname2=M#"
                             "paramtype2=listcombo#valuecount=2#value1=/#value2=/srv#atbutton_paramcount=1#"
                             "atbutton_param1=M#\"#"),
              std::string::npos)
        << described;
    std::string combo = a.request("getcomboparamvalues", "checkid=Mount#");
    EXPECT_EQ(combo.substr(combo.find("#checkid=")), described.substr(described.find("#checkid=")));
    auto reply = run(a, "Gone", "#");
    EXPECT_EQ(reply["errormessage"],
              "Gone does not run: /nonexistent (on the way to /nonexistent/p) does not exist");
    // The client admitted at login stays admitted: a drop-in's [firewall] counts for nothing.
    EXPECT_EQ(run(a, "More", "#")["result"], "up");
}

// A check from a file that others may change runs nothing of its own: neither its command
// nor its list's program, however it is asked. A drop-in file that others may change, a
// FIFO and a link to a device are not read at all, and keep nobody waiting.
TEST_F(OwnChecks, UnsafeFilesRunNothingAndBlockNothing)
{
    fake_commands fake;
    const std::string ran = fake.path("ran");
    fake.script("mark", "echo \"$0\" >> '" + ran + "'\necho value\n");
    const std::string section =
        "command=" + fake.path("mark") + " {V}\nlist-from=V: " + fake.path("mark") + "\n";
    agent_options o = configured("[check:Open]\n" + section);
    o.config_mode = 0664;
    agent a(o);
    a.login();
    const std::string dropins = a.dir() + "/etc/dorv/dorv.d";
    ::mkdir(dropins.c_str(), 0755);
    std::ofstream(dropins + "/open.ini") << "[check:OpenDropIn]\n" << section;
    ::chmod((dropins + "/open.ini").c_str(), 0666);
    ::mkfifo((dropins + "/fifo.ini").c_str(), 0644);
    ::symlink("/dev/zero", (dropins + "/zero.ini").c_str());

    a.send("listchecks", "");
    std::string list = a.read_packet(std::chrono::seconds(1));
    EXPECT_NE(list.find("#checkcount=6#"), std::string::npos) << list;
    EXPECT_NE(list.find("#checkid6=Open#checkdescription6=mark#available6=false#"), std::string::npos)
        << list;
    const std::string problem = "Open does not run: " + a.dir() +
                                "/etc/dorv/dorv.ini is writable by others than root (dorv --check-config "
                                "tells every problem)";
    for (const char* action : {"definecheck", "getcomboparamvalues"}) {
        std::string described = a.request(action, "checkid=Open#");
        EXPECT_NE(described.find("#checkid=Open#problem=" + problem +
                                 "#parameters=\"#paramname1=V#paramtype1=listcombo#valuecount=0#"),
                  std::string::npos)
            << described;
    }
    EXPECT_EQ(run(a, "Open", "#V=value#")["errormessage"], problem);
    EXPECT_NE(a.request("definecheck", "checkid=OpenDropIn#").find("Check not found"), std::string::npos);
    EXPECT_FALSE(std::ifstream(ran).good()) << read_file(ran);
}
