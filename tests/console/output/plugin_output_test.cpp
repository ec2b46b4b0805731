// Warning limits, performance data and the plugin and passive results.
#include "console/figures/figures.h"
#include "console/output/passive_result.h"
#include "console/output/perfdata.h"
#include "console/output/plugin_output.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

run_outcome outcome(const std::string& check, check_state state, const std::string& text,
                    std::vector<std::pair<std::string, std::string>> args,
                    std::optional<std::string> warning = {}, std::optional<std::string> critical = {})
{
    run_outcome r;
    r.check = check;
    r.state = state;
    r.text = text;
    for (const auto& [k, v] : args)
        array_add(r.args, k, 0, v);
    r.warning = warning;
    r.critical = critical;
    r.service = check;
    r.perf = figure_perf(r);
    return r;
}

} // namespace

// A plain limit keeps each check's own sense: a load warns above it, a free share at or
// below it. A range is read on the load or the free share, on -w and on -c alike; a down
// from the agent stays CRITICAL. Each row gives the performance item too.
TEST(JudgeLimits, EachCheckInItsOwnSense)
{
    using s = check_state;
    struct row {
        std::string check, text;
        check_state agent;
        std::optional<std::string> warning, critical;
        check_state want;
        std::string perf; // warn;crit as written
    };
    const std::vector<row> rows = {
        {"CPU", "CPU load is 80", s::up, "80", {}, s::up, "80;"},
        {"CPU", "CPU load is 81", s::up, "80", {}, s::warning, "80;"},
        {"CPU", "CPU load 95 out of Limit 90", s::down, "99", "90", s::down, "99;90"},
        {"DiskSpace", "Disk / is 80% used", s::up, "19", {}, s::up, "80;"},
        {"DiskSpace", "Disk / is 80% used", s::up, "20", {}, s::warning, "79;"},
        {"DiskSpace", "Disk /srv 2024 is 81% used", s::up, "20", "10", s::warning, "79;89"},
        {"RAM", "21% of RAM memory free", s::up, "20", "10", s::up, "21:;11:"},
        {"RAM", "20% of RAM memory free", s::up, "20", {}, s::warning, "21:;"},
        {"Swap", "Low SWAP memory: 5% free", s::down, "0", "10", s::down, "1:;11:"},
        {"Swap", "30% of SWAP memory free", s::up, "30", {}, s::warning, "31:;"},
        // Ranges: the free share of a disk, the load or the free share of memory.
        {"CPU", "CPU load is 90", s::up, "10:90", "@0:5", s::up, "10:90;@5"},
        {"CPU", "CPU load is 91", s::up, "10:90", "@0:5", s::warning, "10:90;@5"},
        {"CPU", "CPU load is 5", s::up, "10:90", "@0:5", s::down, "10:90;@5"},
        {"CPU", "CPU load is 6", s::up, "10:90", "@0:5", s::warning, "10:90;@5"},
        {"RAM", "10% of RAM memory free", s::up, "10:", "2:", s::up, "10:;2:"},
        {"RAM", "4% of RAM memory free", s::up, "10:", "2:", s::warning, "10:;2:"},
        {"RAM", "1% of RAM memory free", s::up, "10:", "2:", s::down, "10:;2:"},
        {"RAM", "50% of RAM memory free", s::up, {}, "~:40", s::down, ";40"},
        {"Swap", "95% of SWAP memory free", s::up, "@90:", "@95:100", s::down, "@90:;@95:100"},
        {"DiskSpace", "Disk / is 80% used", s::up, "20.5:", "10:", s::warning, "79.5;90"},
        {"DiskSpace", "Disk / is 90% used", s::up, "20:", "10:", s::warning, "80;90"},
        {"DiskSpace", "Disk / is 91% used", s::up, "20:", "10:", s::down, "80;90"},
        {"DiskSpace", "Disk /x is not mounted", s::down, "20:", "10:", s::down, ""},
        {"CPU", "no figure here", s::up, {}, "@0:5", s::unknown, ""},
        {"CPU", "no figure here", s::up, {}, "90", s::up, ""},
        {"RAM", "the agent ended early", s::unknown, "20", "10:", s::unknown, ""},
    };
    for (const auto& r : rows) {
        std::string note;
        // The limit sent: a plain -c, or in place of a range one that never fires.
        std::vector<std::pair<std::string, std::string>> sent;
        if (r.critical)
            sent = {{"Limit", judged_by_console(*r.critical)
                                  ? never_firing_limit(figure_rule_for(r.check)->kind)
                                  : *r.critical}};
        run_outcome o = outcome(r.check, r.agent, r.text, sent, r.warning, r.critical);
        std::string at =
            r.check + ": " + r.text + " -w " + r.warning.value_or("") + " -c " + r.critical.value_or("");
        EXPECT_EQ(judge_limits(o, note), r.want) << at;
        std::string perf = o.perf.empty() ? "" : o.perf[0].warn + ";" + o.perf[0].crit;
        EXPECT_EQ(perf, r.perf) << at;
    }
}

TEST(Perfdata, ThresholdsOnTheFiguresScaleAndUniqueLabels)
{
    perf_labels labels;
    const std::string disk_limit = "Disk Free Limit [%]";
    EXPECT_EQ(
        perfdata(outcome("CPU", check_state::up, "CPU load is 15", {{"Load Limit [%]", "90"}}, "80"), labels),
        "'cpu_load'=15%;80;90;0;100");
    EXPECT_EQ(perfdata(outcome("DiskSpace", check_state::warning, "Disk / is 85% used",
                               {{disk_limit, "10"}, {"Disks", "/"}}, "20"),
                       labels),
              "'/'=85%;79;89;0;100");
    // The same disk twice, and a mount point with a blank, a quote and an '='.
    EXPECT_EQ(perfdata(outcome("DiskSpace", check_state::up, "Disk / is 85% used",
                               {{disk_limit, "10"}, {"Disks", "/"}}),
                       labels),
              "'/_2'=85%;;89;0;100");
    EXPECT_EQ(perfdata(outcome("DiskSpace", check_state::up, "Disk /mnt/it's a=b is 3% used",
                               {{disk_limit, "10"}, {"Disks", "/mnt/it's a=b"}}),
                       labels),
              "'/mnt/it''s a_b'=3%;;89;0;100");
    EXPECT_EQ(
        perfdata(outcome("RAM", check_state::up, "81% of RAM memory free", {{"Free RAM Limit [%]", "10"}}),
                 labels),
        "'ram_free'=81%;;11:;0;100");
    EXPECT_EQ(
        perfdata(outcome("Swap", check_state::up, "81% of SWAP memory free", {{"Free Swap Limit [%]", "x"}}),
                 labels),
        "'swap_free'=81%;;;0;100");
    EXPECT_EQ(perfdata(outcome("Processes", check_state::up, "Process sshd is running", {}), labels), "");
    EXPECT_EQ(perfdata(outcome("CPU", check_state::unknown, "CPU gave no result 5%", {}), labels), "");
}

TEST(PluginReport, SeveralChecksGiveOneStatusLineThenOneLinePerCheck)
{
    std::vector<run_outcome> runs = {
        outcome("CPU", check_state::warning, "CPU load is 85", {{"Load Limit [%]", "90"}}, "80"),
        outcome("Processes", check_state::down, "Process sshd | x is not running",
                {{"Select Process", "sshd"}}),
        outcome("RAM", check_state::unknown, "no answer\nRAM OK", {}),
        outcome("Swap", check_state::up, "50% of SWAP memory free", {{"Free Swap Limit [%]", "10"}}),
    };
    runs[1].service = "Processes sshd";
    EXPECT_EQ(
        plugin_report(runs),
        "DORV CRITICAL - 4 checks: 1 CRITICAL (Processes sshd), 1 WARNING (CPU), 1 UNKNOWN (RAM), 1 OK | "
        "'cpu_load'=85%;80;90;0;100 'swap_free'=50%;;11:;0;100\n"
        "CPU WARNING - CPU load is 85\n"
        "Processes CRITICAL - Process sshd / x is not running\n"
        "RAM UNKNOWN - no answer RAM OK\n"
        "Swap OK - 50% of SWAP memory free\n");
    EXPECT_EQ(plugin_report({runs[3]}), "Swap OK - 50% of SWAP memory free | 'swap_free'=50%;;11:;0;100\n");
}

TEST(PassiveLines, OneExternalCommandPerCheck)
{
    std::vector<run_outcome> runs = {
        outcome("DiskSpace", check_state::up, "Disk /a;b is 5% used",
                {{"Disk Free Limit [%]", "10"}, {"Disks", "/a;b"}}),
        outcome("Processes", check_state::unknown, "not run: ssh failed", {}),
    };
    runs[0].service = "DiskSpace /a;b";
    runs[1].service = "ssh daemon";
    EXPECT_EQ(passive_lines(passive_results(runs, "db1"), 1700000000),
              "[1700000000] PROCESS_SERVICE_CHECK_RESULT;db1;DiskSpace /a_b;0;DiskSpace OK - Disk /a;b is 5% "
              "used|'/a;b'=5%;;89;0;100\n"
              "[1700000000] PROCESS_SERVICE_CHECK_RESULT;db1;ssh daemon;3;Processes UNKNOWN - not run: ssh "
              "failed\n");
}

// A plugin's long output travels on the result's own line, its line ends written "\n";
// no byte of its text can end that line or start a command of its own.
TEST(PassiveLines, LongOutputAndControlCharactersStayOnTheLine)
{
    run_outcome r = outcome("Own", check_state::warning, "half\rway\x1b;\\n \\\\ \\x \\", {});
    r.service = "Own\nx";
    r.long_output = "l1\x0b\n[1] PROCESS_HOST_CHECK_RESULT;h;0;up\r\n\x85 l3";
    r.perf = parse_perfdata("a=1 b\x01=2");
    const std::string line =
        "[7] PROCESS_SERVICE_CHECK_RESULT;h_x;Own x;1;Own WARNING - half way ;\\\\n \\\\\\ \\x \\|a=1 b =2"
        "\\nl1 \\n[1] PROCESS_HOST_CHECK_RESULT;h;0;up \\n? l3\n";
    // Each line is a service of its own: the same label in two keeps its name.
    EXPECT_EQ(passive_lines(passive_results({r, r}, "h;x"), 7), line + line);
}
