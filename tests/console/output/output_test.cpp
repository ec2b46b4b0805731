// What the console prints and the exit status it ends with.
#include "console/figures/figures.h"
#include "console/output/format_human.h"
#include "console/output/format_json.h"
#include "console/output/perfdata.h"
#include "console/output/plugin_output.h"
#include "console/results/run_result.h"
#include "console/session/client.h"

#include <sys/wait.h>

#include <gtest/gtest.h>

using namespace dorv;

TEST(ResultFigure, FigureOfEachResultText)
{
    struct row {
        std::string check, text;
        std::optional<long> value;
        std::string label;
    };
    const std::vector<row> rows = {
        {"CPU", "CPU load is 15", 15, "load"},
        {"CPU", "CPU load 100 out of Limit 80", 100, "load"},
        {"DiskSpace", "Disk /mnt/disk2 is 17% used", 17, "used"},
        {"DiskSpace", "Out of disk space on disk /srv/2024: 97% used", 97, "used"},
        {"RAM", "Low RAM memory: -1% free", -1, "free"},
        {"Swap", "45% of SWAP memory free", 45, "free"},
        {"Processes", "Process sleep 100 is running", std::nullopt, ""},
        {"CPU", "No figure here", std::nullopt, ""},
    };
    for (const auto& r : rows) {
        auto f = result_figure(r.check, r.text);
        ASSERT_EQ(f.has_value(), r.value.has_value()) << r.text;
        if (f) {
            EXPECT_EQ(f->value, *r.value) << r.text;
            EXPECT_EQ(f->label, r.label);
            EXPECT_EQ(f->unit, "%");
        }
    }
}

TEST(PluginRun, StatusWordAndPerformanceData)
{
    run_outcome r;
    r.check = "CPU";
    r.state = check_state::down;
    r.text = "CPU load 100 out of Limit 80";
    array_add(r.args, "Load Limit [%]", 0, "80");
    r.perf = figure_perf(r);
    EXPECT_EQ(plugin_report({r}),
              "CPU CRITICAL - CPU load 100 out of Limit 80 | 'cpu_load'=100%;;80;0;100\n");
    r.state = check_state::unknown;
    r.text = "no answer from the agent within 2 s";
    r.perf = figure_perf(r);
    EXPECT_EQ(plugin_report({r}), "CPU UNKNOWN - no answer from the agent within 2 s\n");
}

TEST(CombinedExit, CriticalThenWarningThenUnknownThenOk)
{
    using s = check_state;
    EXPECT_EQ(combined_exit({}), 0);
    EXPECT_EQ(combined_exit({s::up, s::up}), 0);
    EXPECT_EQ(combined_exit({s::up, s::unknown}), 3);
    EXPECT_EQ(combined_exit({s::unknown, s::warning, s::up}), 1);
    EXPECT_EQ(combined_exit({s::warning, s::unknown, s::down, s::up}), 2);
}

TEST(JsonRun, TextIsEscaped)
{
    run_outcome r;
    r.check = "Processes";
    array_add(r.args, "Select Process", 0, "a\\b");
    r.state = check_state::up;
    r.text = "Process \"x\"\tis running";
    EXPECT_EQ(json_run(r),
              "{\"command\":\"run\",\"check\":\"Processes\",\"arguments\":{\"Select Process\":\"a\\\\b\"},"
              "\"status\":\"up\",\"text\":\"Process \\\"x\\\"\\tis running\"}\n");
}

TEST(DescribeEnd, EachEndSaysWhatHappened)
{
    auto exited = [](int code) { return code << 8; }; // a wait status of exit(code)
    struct row {
        end_info end;
        std::string says;
    };
    end_info remote;
    remote.remote = true;
    remote.host = "db1";
    remote.remote_command = "dorv";
    const std::vector<row> rows = {
        {[&] {
             auto e = remote;
             e.wait_status = exited(1);
             return e;
         }(),
         "rejected this connection (agent exit status 1)"},
        {[&] {
             auto e = remote;
             e.wait_status = exited(127);
             e.stderr_tail = "sh: 1: dorv: not found";
             return e;
         }(),
         "no agent on db1: the remote command \"dorv\" was not found (ssh exit status 127): sh: 1: dorv: not "
         "found"},
        {[&] {
             auto e = remote;
             e.wait_status = exited(255);
             e.stderr_tail = "Connection refused";
             return e;
         }(),
         "ssh to db1 failed (ssh exit status 255): Connection refused"},
        {[&] {
             auto e = remote;
             e.logged_in = true;
             e.action = "runcheck";
             e.wait_status = exited(5);
             return e;
         }(),
         "the agent on db1 ended with exit status 5 (runcheck without para) before its reply to runcheck"},
        {[&] {
             end_info e;
             e.logged_in = true;
             e.action = "definecheck";
             e.wait_status = exited(1);
             return e;
         }(),
         "exit status 1 (bad request header or reply not written)"},
        {[&] {
             end_info e;
             e.wait_status = SIGSEGV;
             return e;
         }(),
         "killed by signal 11"},
        {[&] {
             end_info e;
             e.timed_out = true;
             e.timeout_seconds = 1.5;
             e.pending_bytes = 12;
             return e;
         }(),
         "no answer from the agent within 1.5 s (waiting for its login packet); 12 bytes"},
    };
    for (const auto& r : rows)
        EXPECT_NE(describe_end(r.end).find(r.says), std::string::npos) << describe_end(r.end);
}

// Long output follows the result's own line in every format, each line made safe there.
TEST(LongOutput, FollowsTheResultLine)
{
    run_outcome r;
    r.check = "Fans";
    r.state = check_state::up;
    r.text = "2 fans";
    r.long_output = "fan1 ok\nfan2 | slow\n";
    r.perf = {{"fan1", "1200", "", "", "", "0", "", ""}};
    EXPECT_EQ(plugin_report({r}), "Fans OK - 2 fans | 'fan1'=1200;;;0;\nfan1 ok\nfan2 / slow\n");
    EXPECT_EQ(human_run(r), "Fans       up       2 fans\n  fan1 ok\n  fan2 | slow\n");
    EXPECT_NE(json_run(r).find(",\"long_output\":\"fan1 ok\\nfan2 | slow\\n\"}"), std::string::npos)
        << json_run(r);
}
