// dorv-console under a scheduler: warning limits, one plugin result for several checks,
// passive results, usage errors and unwritable output, agent text that tries to forge
// output, and a run that costs one probe run.
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <fstream>
#include <gtest/gtest.h>
#include <regex>

#include "e2e/agent_harness.h"
#include "e2e/console_harness.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

// The one agent's file in dir, dot files aside ("" when there is not exactly one).
std::string only_file_in(const std::string& dir)
{
    std::vector<std::string> files;
    for (const auto& entry : std::filesystem::directory_iterator(dir))
        if (entry.path().filename().string()[0] != '.')
            files.push_back(entry.path());
    return files.size() == 1 ? files[0] : "";
}

// The test agent with fake top (RAM 81 % free, Swap 25 % free) and ps beside its vmstat
// (CPU load 15); ps counts its runs in home/ps.count.
struct faked_agent : local_agent {
    faked_agent()
    {
        fake_command(home.dir(), "top", fixture("top/freebsd-example.txt"));
        fake_command(home.dir(), "ps", fixture("ps/linux-procps.txt"), home.path("ps.count"));
    }
    int ps_runs() const { return count_of(read_file(home.path("ps.count")), "run"); }
};

struct plugin_row {
    std::vector<std::string> args;
    int status;
    std::string out;
};

void expect_rows(const local_agent& a, const std::vector<plugin_row>& rows)
{
    for (const auto& row : rows) {
        std::vector<std::string> args = {"--format", "plugin"};
        args.insert(args.end(), row.args.begin(), row.args.end());
        console_result r = a.run(args);
        EXPECT_EQ(r.status, row.status) << row.args[1] << " " << r.err;
        EXPECT_EQ(r.out, row.out);
    }
}

} // namespace

TEST(ConsolePlugin, WarningLimitOfCpuRamAndSwap)
{
    faked_agent a;
    expect_rows(a, {
                       {{"run", "CPU", "-w", "10", "-c", "90"},
                        1,
                        "CPU WARNING - CPU load is 15 | 'cpu_load'=15%;10;90;0;100\n"},
                       {{"-w", "15", "-c", "90", "run", "CPU"},
                        0,
                        "CPU OK - CPU load is 15 | 'cpu_load'=15%;15;90;0;100\n"},
                       {{"run", "CPU", "-w", "10", "-c", "14"},
                        2,
                        "CPU CRITICAL - CPU load 15 out of Limit 14 | 'cpu_load'=15%;10;14;0;100\n"},
                       {{"run", "RAM", "-w", "81", "-c", "10"},
                        1,
                        "RAM WARNING - 81% of RAM memory free | 'ram_free'=81%;82:;11:;0;100\n"},
                       {{"run", "RAM", "--warning=80", "--critical", "10"},
                        0,
                        "RAM OK - 81% of RAM memory free | 'ram_free'=81%;81:;11:;0;100\n"},
                       {{"run", "Swap", "-w", "30", "-c", "20"},
                        1,
                        "Swap WARNING - 25% of SWAP memory free | 'swap_free'=25%;31:;21:;0;100\n"},
                       // Down is CRITICAL whatever the warning limit says.
                       {{"run", "Swap", "-w", "10", "-c", "30"},
                        2,
                        "Swap CRITICAL - Low SWAP memory: 25% free | 'swap_free'=25%;11:;31:;0;100\n"},
                       {{"run", "Processes", "-w", "1", "cron"},
                        3,
                        "Processes UNKNOWN - Processes takes no -w or -c: its first parameter is no limit\n"},
                   });
}

// Ranges on -w and -c, judged by the console on the load or the free share; the agent is
// asked with a limit that never fires. A range that is none is a usage error.
TEST(ConsolePlugin, ThresholdRanges)
{
    faked_agent a;
    expect_rows(a, {
                       {{"run", "CPU", "-w", "10:90", "-c", "@0:5"},
                        0,
                        "CPU OK - CPU load is 15 | 'cpu_load'=15%;10:90;@5;0;100\n"},
                       {{"run", "CPU", "-w", "20:90", "-c", "@0:5"},
                        1,
                        "CPU WARNING - CPU load is 15 | 'cpu_load'=15%;20:90;@5;0;100\n"},
                       {{"run", "CPU", "-w", "@15:15", "-c", "90"},
                        1,
                        "CPU WARNING - CPU load is 15 | 'cpu_load'=15%;@15:15;90;0;100\n"},
                       {{"-c", "@10:20", "run", "CPU"},
                        2,
                        "CPU CRITICAL - CPU load is 15 | 'cpu_load'=15%;;@10:20;0;100\n"},
                       {{"run", "RAM", "-w", "90:", "-c", "81.5:"},
                        2,
                        "RAM CRITICAL - 81% of RAM memory free | 'ram_free'=81%;90:;81.5:;0;100\n"},
                       {{"run", "Swap", "-w", "~:20", "-c", "10"},
                        1,
                        "Swap WARNING - 25% of SWAP memory free | 'swap_free'=25%;20;11:;0;100\n"},
                       {{"run", "Processes", "-c", "1:", "cron"},
                        3,
                        "Processes UNKNOWN - Processes takes no -w or -c: its first parameter is no limit\n"},
                   });
    const std::string trace = a.trace();
    for (const char* sent : {"#Load Limit [%]=999999999#", "#Free RAM Limit [%]=-999999999#",
                             "#Load Limit [%]=90#", "#Free Swap Limit [%]=10#"})
        EXPECT_NE(trace.find(sent), std::string::npos) << sent;
    for (const char* range : {"=@", "=81.5", "=10:"})
        EXPECT_EQ(trace.find(range), std::string::npos) << range;
    for (std::string bad : {"10:5", "abc", "@", "1:2:3", ":10", "10.5", "5:~"}) {
        console_result r = a.run({"--format", "plugin", "run", "RAM", "-w", "20", "-c", bad});
        EXPECT_EQ(r.status, 3) << bad;
        EXPECT_EQ(
            r.out.rfind("DORV UNKNOWN - run RAM: -c \"" + bad + "\" is no limit or threshold range: ", 0), 0u)
            << r.out;
        EXPECT_EQ(count_of(r.out, "\n"), 1) << r.out;
    }
}

// DiskSpace reads /bin/df at its fixed path: a fake one is mounted over it in a mount
// namespace of the agent's own.
TEST(ConsolePlugin, WarningLimitOfDiskSpace)
{
    if (::geteuid() != 0 || std::system("unshare -m true >/dev/null 2>&1") != 0)
        GTEST_SKIP() << "needs root and unshare -m to put a fake /bin/df in place";
    faked_agent a;
    fake_command(a.home.dir(), "df", fixture("df/freebsd-example.txt"));
    a.agent = a.home.path("agent-in-namespace");
    write_namespace_wrapper(a.agent, "mount --bind " + a.home.path("bin/df") + " /bin/df", DORV_TEST_AGENT);
    // /usr is 63 % used: 37 % free.
    expect_rows(
        a, {
               {{"run", "DiskSpace", "-w", "40", "-c", "10", "/usr"},
                1,
                "DiskSpace WARNING - Disk /usr is 63% used | '/usr'=63%;59;89;0;100\n"},
               {{"run", "DiskSpace", "-w", "36", "-c", "10", "/usr"},
                0,
                "DiskSpace OK - Disk /usr is 63% used | '/usr'=63%;63;89;0;100\n"},
               {{"run", "DiskSpace", "-w", "50", "-c", "37", "/usr"},
                2,
                "DiskSpace CRITICAL - Out of disk space on disk /usr: 63% used | '/usr'=63%;49;62;0;100\n"},
           });
}

TEST(ConsolePlugin, JoinedChecksGiveOneStatusLineWithTheWorstState)
{
    faked_agent a;
    console_result r = a.run({"--format",     "plugin", "run", "CPU",  "-w", "10", "-c", "90",  "+",
                              "run",          "RAM",    "-w",  "20",   "-c", "10", "+",  "run", "Processes",
                              "nosuchdaemon", "+",      "run", "Swap", "-w", "30", "-c", "20"});
    EXPECT_EQ(r.status, 2) << r.err;
    EXPECT_EQ(r.out,
              "DORV CRITICAL - 4 checks: 1 CRITICAL (Processes nosuchdaemon), 2 WARNING (CPU, Swap), 1 OK | "
              "'cpu_load'=15%;10;90;0;100 'ram_free'=81%;21:;11:;0;100 'swap_free'=25%;31:;21:;0;100\n"
              "CPU WARNING - CPU load is 15\n"
              "RAM OK - 81% of RAM memory free\n"
              "Processes CRITICAL - Process nosuchdaemon is not running\n"
              "Swap WARNING - 25% of SWAP memory free\n");
    EXPECT_EQ(count_of(a.trace(), "Accepted new connection"), 1);
}

TEST(ConsolePlugin, PassiveResultsForAllFiveChecks)
{
    faked_agent a;
    console_result r = a.run(
        {"--format", "passive",   "--host", "db1",       "run",        "CPU",  "-w", "10", "-c",  "90",  "+",
         "run",      "DiskSpace", "-w",     "0",         "-c",         "-1",   "/",  "+",  "run", "RAM", "-w",
         "20",       "-c",        "10",     "+",         "run",        "Swap", "-w", "30", "-c",  "10",  "+",
         "run",      "Processes", "cron",   "--service", "cron daemon"});
    EXPECT_EQ(r.status, 1) << r.err;
    std::regex line(R"(\[\d+\] PROCESS_SERVICE_CHECK_RESULT;db1;([^;]+);(\d);(.*))");
    std::vector<std::string> got;
    std::istringstream in(r.out);
    for (std::string l; std::getline(in, l);) {
        std::smatch m;
        ASSERT_TRUE(std::regex_match(l, m, line)) << l;
        got.push_back(m[1].str() + ";" + m[2].str() + ";" + m[3].str().substr(0, m[3].str().find(" - ")));
    }
    EXPECT_EQ(got,
              (std::vector<std::string>{"CPU;1;CPU WARNING", "DiskSpace /;0;DiskSpace OK", "RAM;0;RAM OK",
                                        "Swap;1;Swap WARNING", "cron daemon;0;Processes OK"}));
    EXPECT_NE(r.out.find(";RAM;0;RAM OK - 81% of RAM memory free|'ram_free'=81%;21:;11:;0;100\n"),
              std::string::npos);
}

TEST(ConsolePlugin, UsageErrorIsAnUnknownStatusLine)
{
    const std::vector<std::vector<std::string>> rows = {
        {"--format", "plugin", "run", "CPU", "-w", "high"},
        {"--format", "passive", "run", "CPU", "-c", "90"},
        {"--format=plugin", "-w", "80", "run", "CPU", "+", "run", "RAM", "10"},
        {"--format", "plugin", "--frobnicate", "run", "CPU"},
    };
    for (const auto& args : rows) {
        console_result r = run_console(args);
        EXPECT_EQ(r.status, 3) << args[2];
        EXPECT_EQ(r.out.rfind("DORV UNKNOWN - ", 0), 0u) << r.out;
        EXPECT_EQ(count_of(r.out, "\n"), 1) << r.out;
        EXPECT_NE(r.err.find("usage: dorv-console"), std::string::npos);
    }
}

// A closed or full standard output is no result.
TEST(ConsolePlugin, UnwritableOutputIsUnknown)
{
    faked_agent a;
    for (const char* redirect : {">/dev/full", ">&-"}) {
        std::string cmd = "cd '" + a.home.dir() +
                          "' && XDG_CACHE_HOME=\"$PWD\" PATH=bin:$PATH '" DORV_CONSOLE "' --agent '" +
                          a.agent + "' --format plugin run CPU 80 " + redirect + " 2>err.txt";
        int st = std::system(cmd.c_str());
        EXPECT_EQ(WEXITSTATUS(st), 3) << redirect;
        EXPECT_NE(read_file(a.home.path("err.txt")).find("dorv-console: cannot write the output"),
                  std::string::npos);
    }
    console_result v = run_console({"-V"});
    EXPECT_EQ(v.status, 0);
    EXPECT_TRUE(std::regex_match(v.out, std::regex("dorv-console \\d+\\.\\d+\\.\\d+\n"))) << v.out;
}

// With the check's parameters known from an earlier run, a run whose values are all
// given runs the probe once; a cache the agent no longer agrees with is mended.
TEST(ConsolePlugin, RunWithEveryValueGivenRunsItsProbeOnce)
{
    faked_agent a;
    EXPECT_EQ(a.run({"run", "Processes", "cron"}).status, 0);
    int first = a.ps_runs();
    console_result r = a.run({"run", "Processes", "cron", "+", "run", "Processes", "sshd"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(a.ps_runs() - first, 2);
    EXPECT_EQ(count_of(a.trace(), "requestaction=definecheck"), 1);

    std::string cache = only_file_in(a.home.path("cache/dorv-console/parameters.d"));
    std::string text = read_file(cache);
    ASSERT_NE(text.find("Select Process"), std::string::npos) << text;
    text.replace(text.find("Select Process"), 14, "Pick Process");
    std::ofstream(cache) << text;
    r = a.run({"--format", "plugin", "run", "Processes", "cron"});
    EXPECT_EQ(r.status, 0) << r.err;
    EXPECT_EQ(r.out, "Processes OK - Process cron is running\n");
    EXPECT_NE(read_file(cache).find("Select Process"), std::string::npos);
}

// An agent whose text holds a '|', line ends, escape sequences and bytes that are not
// UTF-8 adds no performance data, no line and no terminal control to what is printed.
TEST(ConsolePlugin, HostileAgentTextForgesNothing)
{
    temp_dir s;
    write_script(
        s.path("agent"),
        "printf '#keycount=2#responseaction=login#sessionid=S#'\n"
        "printf '#keycount=4#responseaction=definecheck#sessionid=S#checkid=CPU#parameters=\"#paramname1=Load"
        " Limit [%%]#paramtype1=longinteger#maxlength1=200#\"#'\n"
        "printf '#keycount=5#responseaction=runcheck#sessionid=S#checkid=CPU#result=up#resultstring=CPU load "
        "is 15 | evil=1\\nCPU CRITICAL\\033[2J\\377\\302\\233#'\n"
        "cat >/dev/null\n");
    // The fake answers definecheck first: each run starts with no parameters known.
    auto run = [&](const std::string& format) {
        console_env env;
        env.set["XDG_CACHE_HOME"] = s.dir() + "/cache-" + format;
        return run_console(
            {"--agent", s.path("agent"), "--format", format, "--host", "h", "run", "CPU", "80"}, env);
    };
    for (const char* format : {"plugin", "passive"}) {
        console_result r = run(format);
        EXPECT_EQ(count_of(r.out, "\n"), 1) << r.out;
        EXPECT_EQ(count_of(r.out, "|"), 1) << r.out;
        EXPECT_EQ(r.out.find_first_of("\033\377"), std::string::npos) << r.out;
    }
    EXPECT_NE(run("human").out.find("CPU load is 15 | evil=1\\nCPU CRITICAL\\x1b[2J\\xff\\u009b"),
              std::string::npos);
    console_result j = run("json");
    EXPECT_NE(j.out.find("evil=1\\nCPU CRITICAL\\u001b[2J\xEF\xBF\xBD\xC2\x9B"), std::string::npos) << j.out;
}
