// Configuration lookup.
#include "config/config.h"
#include "config/keys.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include <fstream>
#include <optional>

#include "support/temp_dir.h"

using namespace dorv;
using dorv_test::temp_file;

namespace {

// Points the configuration path at a file holding text for its lifetime.
class config_file {
  public:
    explicit config_file(const std::string& text) : file_(text), saved_(g_config_path)
    {
        g_config_path = file_.path();
    }
    ~config_file() { g_config_path = saved_; }

  private:
    temp_file file_;
    std::string saved_;
};

} // namespace

TEST(DorvConfig, MissingFileGivesTheDefault)
{
    std::string saved = g_config_path;
    g_config_path = "/nonexistent/dorv-test/dorv.ini";
    EXPECT_EQ(dorv_config("agent", "log", "/dev/null"), "/dev/null");
    EXPECT_EQ(dorv_config("firewall", "root", std::nullopt), std::nullopt);
    g_config_path = saved;
}

TEST(DorvConfig, LookupFollowsTheLineRules)
{
    struct row {
        const char* what;
        std::string file;
        std::optional<std::string> value; // of "log" in "agent", default "DEF"
    };
    const row rows[] = {
        {"plain entry", "[agent]\nlog=/var/log/agent.log\n", "/var/log/agent.log"},
        {"CRLF line ends", "[agent]\r\nlog=/var/log/agent.log\r\n", "/var/log/agent.log"},
        {"last line without line end", "[agent]\nlog=/x", "/x"},
        {"blanks around the equals sign", "[agent]\nlog = /x\n", "DEF"},
        {"longer key", "[agent]\nlogfile=/x\n", "DEF"},
        {"key without equals sign", "[agent]\nlog\n", "DEF"},
        {"trailing blank kept", "[agent]\nlog=/x \n", "/x "},
        {"text after the value kept", "[agent]\nlog=/x ; old\n", "/x ; old"},
        {"further equals signs kept", "[agent]\nlog=a=b\n", "a=b"},
        {"empty value is not the default", "[agent]\nlog=\n", ""},
        {"header followed by a blank is an entry", "[other]\n[agent] \nlog=/x\n", "DEF"},
        {"blank header line keeps the section before", "[agent]\n[agent] \nlog=/x\n", "/x"},
        {"unclosed header is an entry", "[agent]\n[other\nlog=/x\n", "/x"},
        {"section names are case-sensitive", "[Agent]\nlog=/x\n", "DEF"},
        {"keys are case-sensitive", "[agent]\nLog=/x\n", "DEF"},
        {"entry before any header", "log=/x\n[agent]\n", "DEF"},
        {"empty header returns to the empty section", "[agent]\n[]\nlog=/x\n", "DEF"},
        {"first entry wins", "[agent]\nlog=/first\nlog=/second\n", "/first"},
        {"first entry wins across sections", "[agent]\nlog=/first\n[other]\nlog=/o\n[agent]\nlog=/second\n",
         "/first"},
        {"section met again", "[agent]\nx=1\n[other]\nlog=/o\n[agent]\nlog=/second\n", "/second"},
        {"semicolon comment", "[agent]\n;log=/x\n", "DEF"},
        {"hash comment", "[agent]\n#log=/x\nlog=/y\n", "/y"},
        {"indented semicolon is an entry", "[agent]\n  ;log=/x\nlog=/y\n", "/y"},
        {"indented key does not match", "[agent]\n log=/x\n", "DEF"},
        {"blank lines skipped", "\n\n[agent]\n\r\n\nlog=/x\n", "/x"},
        {"other section", "[firewall]\nlog=/x\n", "DEF"},
    };
    for (const auto& r : rows) {
        config_file f(r.file);
        EXPECT_EQ(dorv_config("agent", "log", "DEF"), r.value) << r.what;
    }
}

TEST(DorvConfig, EmptySectionNameFindsEntriesBeforeTheFirstHeader)
{
    config_file f("log=/top\n[agent]\nlog=/agent\n");
    EXPECT_EQ(dorv_config("", "log", std::nullopt), "/top");
    EXPECT_EQ(dorv_config("agent", "log", std::nullopt), "/agent");
}

TEST(DorvConfig, NoDefaultGivesNothingWhenTheKeyIsMissing)
{
    config_file f("[firewall]\nalice=10.0.0.0-10.255.255.255\n");
    EXPECT_EQ(dorv_config("firewall", "alice", std::nullopt), "10.0.0.0-10.255.255.255");
    EXPECT_EQ(dorv_config("firewall", "bob", std::nullopt), std::nullopt);
    EXPECT_EQ(dorv_config("firewall", "ali", std::nullopt), std::nullopt);
}

TEST(DorvConfig, OverlongLineIsReadInPiecesJudgedOnTheirOwn)
{
    // The first piece holds 16383 characters; the rest of the physical line is a line.
    const std::string piece(16383, 'x');
    {
        config_file f("[agent]\n" + piece + "log=/tail\n");
        EXPECT_EQ(dorv_config("agent", "log", "DEF"), "/tail");
    }
    {
        config_file f("[agent]\n" + piece + "[other]\nlog=/x\n");
        EXPECT_EQ(dorv_config("agent", "log", "DEF"), "DEF");
    }
    {
        // A value running over the piece border is cut there.
        std::string value(16383 - 4, 'v');
        config_file f("[agent]\nlog=" + value + "TAIL\n");
        EXPECT_EQ(dorv_config("agent", "log", "DEF"), value);
    }
}

TEST(DorvConfig, FileIsReadAfreshAtEveryLookup)
{
    temp_file f("[agent]\nlog=/one\n");
    std::string saved = g_config_path;
    g_config_path = f.path();
    EXPECT_EQ(dorv_config("agent", "log", "DEF"), "/one");
    std::ofstream(f.path(), std::ios::trunc) << "[agent]\nlog=/two\n";
    EXPECT_EQ(dorv_config("agent", "log", "DEF"), "/two");
    g_config_path = saved;
}

// Nothing but a regular file of a bounded size is read, and nothing blocks on the way: a
// FIFO without a writer, a link to a device, a directory and a huge file are unreadable.
TEST(DorvConfig, OnlyABoundedRegularFileIsRead)
{
    dorv_test::temp_dir d;
    ::mkfifo(d.path("fifo").c_str(), 0644);
    ::symlink("/dev/zero", d.path("zero").c_str());
    std::ofstream(d.path("plain")) << "[agent]\nlog=/x\n";
    ::symlink(d.path("plain").c_str(), d.path("link").c_str());
    std::ofstream(d.path("huge")) << "[agent]\nlog=/x\n" << std::string(max_config_size, '\n');
    const struct {
        std::string name;
        config_read::status_t status;
        std::string error;
    } rows[] = {
        {"plain", config_read::read, ""},
        {"fifo", config_read::unreadable, "not a regular file"},
        {"zero", config_read::unreadable, "a symbolic link is not followed"},
        {"link", config_read::unreadable, "a symbolic link is not followed"},
        {"huge", config_read::unreadable, "larger than 1048576 bytes"},
        {"", config_read::unreadable, "not a regular file"},
        {"missing", config_read::missing, "No such file or directory"},
    };
    for (const auto& r : rows) {
        int lines = 0;
        config_read got = read_config(d.path(r.name), [&](const config_line&) { return ++lines > 0; });
        EXPECT_EQ(got.status, r.status) << r.name;
        EXPECT_EQ(got.error, r.error) << r.name;
        EXPECT_EQ(lines, r.status == config_read::read ? 2 : 0) << r.name;
    }
}

// A seconds value that is not one (which --check-config reports) is read as the table's
// default, as is a key the file does not hold.
TEST(ConfigKeys, ReadersTakeTheTablesDefault)
{
    const struct {
        std::string file;
        int seconds;
    } rows[] = {
        {"[agent]\nprobe_timeout=0\n", 10}, {"[agent]\nprobe_timeout=ten\n", 10},
        {"[agent]\nprobe_timeout=5s\n", 5}, {"[agent]\nprobe_timeout=25\n", 25},
        {"[agent]\nlog=/x\n", 10},
    };
    for (const auto& r : rows) {
        config_file f(r.file);
        EXPECT_EQ(config_seconds("agent", "probe_timeout"), r.seconds) << r.file;
        EXPECT_EQ(config_value("agent", "process_users"), "root,dorv");
    }
    config_file f("[agent]\nlog=\n[firewall]\nroot=10.0.0.1\n");
    EXPECT_EQ(config_value("agent", "log"), "");
    EXPECT_EQ(config_value("firewall", "root"), "10.0.0.1");
    EXPECT_EQ(config_value("firewall", "*"), std::nullopt);
    EXPECT_THROW(config_value("agent", "no_such_key"), std::logic_error);
}
