// A host whose only commands are BusyBox's applets (no vmstat): every check answers, its
// figures against /proc/meminfo, /proc/stat and the host's own df, read at the same moment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
#include <cmath>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <iostream>
#include <map>
#include <sstream>
#include <thread>

#include "e2e/agent_harness.h"
#include "support/fake_command.h"
#include "support/host_reading.h"
#include "support/process.h"

using namespace dorv_test;

namespace {

const std::string busybox = "/bin/busybox";

// Free RAM as BusyBox's top counts it (free, buffers and page cache), in percent.
double meminfo_free_share()
{
    std::map<std::string, double> kb = meminfo();
    return 100.0 * (kb["MemFree"] + kb["Buffers"] + kb["Cached"]) / kb["MemTotal"];
}

// Free swap in percent; 0 without swap, as the agent counts it.
double meminfo_swap_share()
{
    std::map<std::string, double> kb = meminfo();
    return kb["SwapTotal"] > 0 ? 100.0 * kb["SwapFree"] / kb["SwapTotal"] : 0;
}

std::size_t occurrences(const std::string& text, const std::string& part)
{
    std::size_t n = 0;
    for (std::size_t at = text.find(part); at != std::string::npos; at = text.find(part, at + 1))
        ++n;
    return n;
}

// The Use% of / as the host's df prints it.
int df_root_used()
{
    for (const auto& [mount, used] : host_df())
        if (mount == "/")
            return used;
    return -1;
}

std::string result_of(agent& a, const std::string& check, const std::string& para)
{
    std::string reply = a.request("runcheck", "checkid=" + check + "#para=\"#" + para + "#\"#");
    // The reply's own pairs, after the header pairs and the check's name.
    std::size_t at = reply.find("#result=");
    return reply.substr(at != std::string::npos ? at + 1 : reply.find('#', reply.find("sessionid=")) + 1);
}

// Runs a check that must be up with a figure: its result text is lead, the figure, tail. The
// figure must lie within slack points of the host's own readings just before and after.
void expect_figure_near(agent& a, const std::string& check, const std::string& para, const std::string& lead,
                        const std::string& tail, const std::function<double()>& host, double slack)
{
    double before = host();
    std::string result = result_of(a, check, para);
    double after = host();
    std::string up = "result=up#resultstring=" + lead;
    int figure = std::atoi(result.c_str() + std::min(result.size(), up.size()));
    EXPECT_EQ(result, up + std::to_string(figure) + tail);
    EXPECT_GE(figure, std::min(before, after) - slack) << result;
    EXPECT_LE(figure, std::max(before, after) + slack) << result;
    std::cout << check << ": " << figure << ", host " << before << " .. " << after << "\n";
}

} // namespace

TEST(BusyBoxHost, EveryCheckAnswersOnABusyBoxPathAndAgreesWithTheHost)
{
    if (::access(busybox.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no " << busybox << " here";
    fake_commands applets;
    for (const char* name : {"top", "ps", "free"})
        ASSERT_EQ(::symlink(busybox.c_str(), applets.path(name).c_str()), 0);
    agent_options o;
    o.config = "process_users=*\n";
    // The agent's PATH holds the applets only. df runs by its absolute path: BusyBox's takes
    // its place in a mount namespace of its own.
    const std::string applets_only = "export PATH=" + applets.dir();
    bool own_df = private_mounts_work();
    if (own_df) {
        o = in_namespace(o, applets.dir(), "mount --bind " + busybox + " /bin/df && " + applets_only);
    } else {
        write_script(applets.path("agent"), applets_only + "\nexec '" + o.binary + "'\n");
        o.binary = applets.path("agent");
    }
    agent a(o);

    expect_figure_near(a, "RAM", "Free RAM Limit [%]=0", "", "% of RAM memory free#", meminfo_free_share, 3);
    expect_figure_near(a, "Swap", "Free Swap Limit [%]=-1", "", "% of SWAP memory free#", meminfo_swap_share,
                       3);

    // top's CPU line covers its last second, /proc/stat the whole check: on a busy host the
    // two windows can see different loads, so the figure must agree on one of up to four tries.
    // Once vmstat is found missing, the session asks top only.
    double closest = 100;
    for (int round = 0; round < 2 || (round < 4 && closest > 5); ++round) {
        cpu_ticks before = proc_stat();
        std::string result = result_of(a, "CPU", "Load Limit [%]=200");
        double host = busy_share(before, proc_stat());
        const std::string up = "result=up#resultstring=CPU load is ";
        int figure = std::atoi(result.c_str() + std::min(result.size(), up.size()));
        EXPECT_EQ(result, up + std::to_string(figure) + "#");
        closest = std::min(closest, std::abs(figure - host));
        std::cout << "CPU: " << figure << ", host " << host << "\n";
    }
    EXPECT_LE(closest, 5);
    EXPECT_EQ(occurrences(a.trace(), "vmstat 1 2 printed nothing (exit status 127: command not found)\n"),
              1u);

    // A sleep of the test's own, once it shows its command line.
    std::string seconds = std::to_string(2000000 + ::getpid());
    launch how;
    how.argv = {"sleep", seconds};
    how.program = "/bin/sleep";
    process sleeping(how);
    ASSERT_TRUE(shows_argv(sleeping.pid(), how.argv));
    for (int round = 0; round < 2; ++round)
        EXPECT_EQ(result_of(a, "Processes", "Select Process=sleep " + seconds),
                  "result=up#resultstring=Process sleep " + seconds + " is running#");
    // BusyBox's ps rejected "-ax" the first time only: its usage text is in the trace once.
    EXPECT_EQ(occurrences(a.trace(),
                          "ps -ax -o user,args printed nothing, not even its header line (exit status 1)\n"),
              1u);
    EXPECT_EQ(occurrences(a.trace(), "Usage: ps "), 1u);

    if (!own_df)
        GTEST_SKIP() << "DiskSpace needs root and unshare -m";
    expect_figure_near(a, "DiskSpace", "Disk Free Limit [%]=0#Disks=/", "Disk / is ", "% used#", df_root_used,
                       1);
}
