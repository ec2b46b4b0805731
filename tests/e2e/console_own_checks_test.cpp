// dorv-console with checks of the administrator's own, through the real test agent: real
// monitoring plugins give each state, performance data and long output, which reach the
// plugin, passive and JSON formats as the plugin printed them; plugins that print bytes a
// packet cannot carry, 10 MB, hang or are killed give a sound answer; run-all runs them.
#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <sstream>

#include "checks/plugin_result.h"
#include "e2e/console_harness.h"
#include "support/fake_command.h"
#include "support/fixture.h"

using namespace dorv_test;

namespace {

const std::string plugins = "/usr/lib/nagios/plugins/";

// Configured checks run only from files of root's, as the tests' are when run as root.
class ConsoleOwnChecks : public ::testing::Test {
  protected:
    void SetUp() override
    {
        if (::geteuid() != 0)
            GTEST_SKIP() << "the test's files would not be root's";
        if (::access((plugins + "check_dummy").c_str(), X_OK) != 0)
            GTEST_SKIP() << "monitoring-plugins-basic is not installed";
    }
    fake_commands fake;
};

// A JSON string of ASCII text.
std::string json(const std::string& s)
{
    std::string out = "\"";
    for (char c : s)
        out += c == '\n'               ? std::string("\\n")
               : c == '"' || c == '\\' ? std::string("\\") + c
                                       : std::string(1, c);
    return out + "\"";
}

// What a passive result line holds after its time stamp.
std::string after_stamp(const std::string& out)
{
    return out.substr(std::min(out.find(']'), out.size()));
}

} // namespace

TEST_F(ConsoleOwnChecks, EachExitStateIsTheConsolesStateInEveryFormat)
{
    local_agent a("[check:Dummy]\ncommand=" + plugins + "check_dummy {Code} '{Text}'\nnumber=Code\n" +
                  "list=Text: all fine, nearly full\n");
    struct row {
        std::string code, word, text;
        int status;
    };
    const row rows[] = {
        {"0", "OK", "OK: all fine", 0},
        {"1", "WARNING", "WARNING: all fine", 1},
        {"2", "CRITICAL", "CRITICAL: all fine", 2},
        {"3", "UNKNOWN", "UNKNOWN: all fine", 3},
    };
    for (const auto& r : rows) {
        const std::vector<std::string> run = {"run", "Dummy", r.code, "all fine"};
        auto in = [&](std::vector<std::string> format) {
            format.insert(format.end(), run.begin(), run.end());
            console_result c = a.run(format);
            EXPECT_EQ(c.status, r.status) << r.code << c.out << c.err;
            return c.out;
        };
        EXPECT_EQ(in({"--format", "plugin"}), "Dummy " + r.word + " - " + r.text + "\n");
        EXPECT_EQ(after_stamp(in({"--format", "passive", "--host", "h"})),
                  "] PROCESS_SERVICE_CHECK_RESULT;h;Dummy all fine;" + r.code + ";Dummy " + r.word + " - " +
                      r.text + "\n");
        const std::string status = r.status == 3   ? "unknown\",\"error"
                                   : r.status == 2 ? "down\",\"text"
                                   : r.status == 1 ? "warning\",\"text"
                                                   : "up\",\"text";
        EXPECT_EQ(in({"--format", "json"}),
                  "{\"command\":\"run\",\"check\":\"Dummy\",\"arguments\":{\"Code\":\"" + r.code +
                      "\",\"Text\":\"all fine\"},\"status\":\"" + status + "\":" + json(r.text) + "}\n");
    }
    // The plugin judges its own limits: the console's -w has no figure to judge.
    console_result w = a.run({"--format", "plugin", "run", "Dummy", "-w", "1", "0", "all fine"});
    EXPECT_EQ(w.status, 3);
    EXPECT_EQ(w.out, "Dummy UNKNOWN - Dummy takes no -w and no range on -c: its result carries no figure the "
                     "console knows (the check judges its own limit)\n");
}

// check_users and check_load (with its top processes as long output) run through a
// wrapper that keeps what they printed; the console shows exactly that.
// Performance data as the console writes it after its '|': its items one blank apart, and
// a '|' within them written as '/', since it cannot stand in a plugin line. check_load's
// process lines make both matter: a command line that holds a '|' starts performance data
// there, and the lines after it are performance data too.
static std::string as_written(const std::string& perfdata)
{
    std::istringstream items(perfdata);
    std::string out;
    for (std::string item; items >> item;)
        out += (out.empty() ? "" : " ") + item;
    std::replace(out.begin(), out.end(), '|', '/');
    return out;
}

TEST_F(ConsoleOwnChecks, PerformanceDataAndLongOutputOfRealPluginsArriveUnchanged)
{
    const std::pair<std::string, std::string> checks[] = {
        {"Users", plugins + "check_users -w 1000 -c 2000"},
        {"Load", plugins + "check_load -w 1000,1000,1000 -c 2000,2000,2000 -n 3"},
    };
    std::string config;
    for (const auto& [name, line] : checks) {
        const std::string out = fake.path(name + ".out");
        fake.script(name, line + " >'" + out + "'\nrc=$?\ncat '" + out + "'\nexit $rc\n");
        config += "[check:" + name + "]\ncommand=" + fake.path(name) + "\n";
    }
    local_agent a(config);
    for (const auto& [name, line] : checks) {
        console_result plugin = a.run({"--format", "plugin", "run", name});
        dorv::plugin_parts printed = dorv::split_plugin_output(read_file(fake.path(name + ".out")));
        ASSERT_NE(printed.perfdata, "") << name;
        std::string long_lines = printed.long_output.empty() ? "" : printed.long_output + "\n";
        EXPECT_EQ(plugin.status, 0) << plugin.err;
        EXPECT_EQ(plugin.out,
                  name + " OK - " + printed.text + " | " + as_written(printed.perfdata) + "\n" + long_lines);

        console_result passive = a.run({"--format", "passive", "--host", "h", "run", name});
        printed = dorv::split_plugin_output(read_file(fake.path(name + ".out")));
        std::string escaped_long;
        for (char c : printed.long_output.empty() ? "" : "\n" + printed.long_output)
            escaped_long += c == '\n' ? std::string("\\n") : std::string(1, c);
        EXPECT_EQ(after_stamp(passive.out), "] PROCESS_SERVICE_CHECK_RESULT;h;" + name + ";0;" + name +
                                                " OK - " + printed.text + "|" + as_written(printed.perfdata) +
                                                escaped_long + "\n");

        console_result js = a.run({"--format", "json", "run", name});
        printed = dorv::split_plugin_output(read_file(fake.path(name + ".out")));
        EXPECT_NE(js.out.find(",\"text\":" + json(printed.text) + ",\"perfdata\":[{\"label\":"),
                  std::string::npos)
            << js.out;
        const std::string first_item = printed.perfdata.substr(0, printed.perfdata.find(' '));
        const std::string label = first_item.substr(0, first_item.find('='));
        const std::string value =
            first_item.substr(label.size() + 1, first_item.find(';') - label.size() - 1);
        EXPECT_NE(js.out.find("{\"label\":\"" + label + "\",\"value\":\"" + value + "\","), std::string::npos)
            << js.out;
        if (!printed.long_output.empty()) {
            EXPECT_NE(js.out.find(",\"long_output\":" + json(printed.long_output) + "}\n"), std::string::npos)
                << js.out;
        }
    }
}

// A NUL byte is "\x00" for a person and "\u0000" in JSON; a scheduler's line cannot carry
// it, so there it is a blank, as every control character is.
TEST_F(ConsoleOwnChecks, BytesAPacketCannotCarryAreShownAsThePluginPrintedThem)
{
    fake.script("odd", "printf 'A#B\"C\\000D\\\\x23 | x#=1 '\"'\"'a \"b'\"'\"'=2s;3\\nlong #1\\n\"2\"\\n'\n");
    local_agent a("[check:Odd]\ncommand=" + fake.path("odd") + "\n");
    struct row {
        std::vector<std::string> format;
        std::string out;
    };
    const row rows[] = {
        {{"--format", "human"},
         "Odd        up       A#B\"C\\x00D\\\\x23\n  | x#=1 'a \"b'=2s;3\n  long #1\n  \"2\"\n"},
        {{"--format", "plugin"}, "Odd OK - A#B\"C D\\x23 | x#=1 'a \"b'=2s;3\nlong #1\n\"2\"\n"},
        {{"--format", "json"},
         "{\"command\":\"run\",\"check\":\"Odd\",\"arguments\":{},\"status\":\"up\",\"text\":\"A#"
         "B\\\"C\\u0000D\\\\x23\","
         "\"perfdata\":[{\"label\":\"x#\",\"value\":\"1\"},{\"label\":\"a "
         "\\\"b\",\"value\":\"2\",\"unit\":\"s\","
         "\"warn\":\"3\"}],\"long_output\":\"long #1\\n\\\"2\\\"\"}\n"},
        {{"--format", "passive", "--host", "h"},
         "] PROCESS_SERVICE_CHECK_RESULT;h;Odd;0;Odd OK - A#B\"C D\\x23|x#=1 'a \"b'=2s;3\\nlong "
         "#1\\n\"2\"\n"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = r.format;
        args.insert(args.end(), {"run", "Odd"});
        console_result c = a.run(args);
        EXPECT_EQ(c.status, 0) << c.err;
        EXPECT_EQ(r.format[1] == "passive" ? after_stamp(c.out) : c.out, r.out);
    }
}

TEST_F(ConsoleOwnChecks, FloodingHangingAndKilledPluginsGiveASoundAnswer)
{
    fake.script("flood", "head -c 10000000 /dev/zero | tr '\\000' 'x' | fold -w 100\n");
    fake.script("hang", "exec sleep 600\n");
    fake.script("killed", "echo partial\nkill -9 $$\n");
    local_agent a("[check:Flood]\ncommand=" + fake.path("flood") + "\n[check:Hang]\ncommand=" +
                  fake.path("hang") + "\ntimeout=1\n[check:Killed]\ncommand=" + fake.path("killed") + "\n");
    console_result c =
        a.run({"--format", "plugin", "run", "Flood", "+", "run", "Hang", "+", "run", "Killed"});
    EXPECT_EQ(c.status, 3) << c.err;
    EXPECT_EQ(c.out.rfind("DORV UNKNOWN - 3 checks: 2 UNKNOWN (Hang, Killed), 1 OK\nFlood OK - " +
                              std::string(100, 'x') + "\n" + std::string(100, 'x') + "\n",
                          0),
              0u)
        << c.out.substr(0, 400);
    // The flood is cut to one packet of whole lines; the others say what happened.
    EXPECT_LT(c.out.size(), 17000u);
    EXPECT_GT(count_of(c.out, std::string(100, 'x') + "\n"), 100);
    EXPECT_NE(c.out.find("\nHang UNKNOWN - " + fake.path("hang") + " did not finish within 1 s\n"),
              std::string::npos);
    EXPECT_NE(c.out.find("\nKilled UNKNOWN - " + fake.path("killed") + " was ended by signal 9 (Killed)\n"),
              std::string::npos);
}

TEST_F(ConsoleOwnChecks, RunAllRunsConfiguredChecksWithAListsFirstValue)
{
    local_agent a("[check:Dummy]\ncommand=" + plugins + "check_dummy {Code} ran\nlist=Code: 1, 0\n" +
                  "[check:Limit]\ncommand=" + plugins + "check_dummy {N}\nnumber=N\n");
    console_result c = a.run({"--format", "plugin", "run-all"});
    // WARNING at least, by Dummy; CRITICAL when a built-in check is down on this host.
    EXPECT_TRUE(c.status == 1 || c.status == 2) << c.out << c.err;
    EXPECT_NE(c.out.find("\nDummy WARNING - WARNING: ran\n"), std::string::npos) << c.out;
    EXPECT_NE(c.out.find(" 1 WARNING (Dummy 1)"), std::string::npos) << c.out;
    EXPECT_EQ(c.err, "dorv-console: run-all leaves out Limit: no usual value for \"N\"\n");
}

// A routine run-all describes every listed check: one from a file that others may change
// is described without running its list's program, and its command does not run either.
TEST_F(ConsoleOwnChecks, RunAllFiresNothingOfACheckFromAnUnsafeFile)
{
    const std::string ran = fake.path("ran");
    fake.script("mark", "echo \"$0\" >> '" + ran + "'\necho value\n");
    local_agent a("[check:Open]\ncommand=" + fake.path("mark") + " {V}\nlist-from=V: " + fake.path("mark") +
                  "\n");
    ::chmod(a.home.path("etc/dorv/dorv.ini").c_str(), 0664);
    console_result c = a.run({"run-all"});
    EXPECT_NE(c.err.find("run-all leaves out Open"), std::string::npos) << c.out << c.err;
    EXPECT_FALSE(std::ifstream(ran).good()) << read_file(ran);
}
