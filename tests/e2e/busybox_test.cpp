// A host whose top, ps and df are BusyBox's applets: the agent's RAM, Processes and
// DiskSpace figures against /proc/meminfo and the host's own df, read at the same moment.
#include <gtest/gtest.h>
#include <unistd.h>

#include <algorithm>
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

TEST(BusyBoxHost, RamProcessesAndDiskSpaceAgreeWithTheHost)
{
    if (::access(busybox.c_str(), X_OK) != 0)
        GTEST_SKIP() << "no " << busybox << " here";
    fake_commands applets;
    for (const char* name : {"top", "ps"})
        ASSERT_EQ(::symlink(busybox.c_str(), applets.path(name).c_str()), 0);
    agent_options o;
    o.path_prefix = {applets.dir()};
    o.config = "process_users=*\n";
    // df runs by its absolute path: BusyBox's takes its place in a mount namespace of its own.
    bool own_df = private_mounts_work();
    agent a(own_df ? in_namespace(o, applets.dir(), "mount --bind " + busybox + " /bin/df") : o);

    expect_figure_near(a, "RAM", "Free RAM Limit [%]=0", "", "% of RAM memory free#", meminfo_free_share, 3);
    EXPECT_EQ(result_of(a, "Swap", "Free Swap Limit [%]=0"),
              "errormessage=top -d 1 -n 1 -b printed no line that gives the swap figure#");

    // A sleep of the test's own, once it shows its command line.
    std::string seconds = std::to_string(2000000 + ::getpid());
    launch how;
    how.argv = {"sleep", seconds};
    how.program = "/bin/sleep";
    process sleeping(how);
    std::string cmdline = "sleep" + std::string(1, '\0') + seconds + std::string(1, '\0');
    auto shown = [&] {
        std::ifstream in("/proc/" + std::to_string(sleeping.pid()) + "/cmdline");
        return std::string(std::istreambuf_iterator<char>(in), {}) == cmdline;
    };
    for (int i = 0; i < 2000 && !shown(); ++i)
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(result_of(a, "Processes", "Select Process=sleep " + seconds),
              "result=up#resultstring=Process sleep " + seconds + " is running#");
    // BusyBox's ps rejected "-ax" first.
    EXPECT_NE(
        a.trace().find("ps -ax -o user,args printed nothing, not even its header line (exit status 1)\n"),
        std::string::npos);

    if (!own_df)
        GTEST_SKIP() << "DiskSpace needs root and unshare -m";
    expect_figure_near(a, "DiskSpace", "Disk Free Limit [%]=0#Disks=/", "Disk / is ", "% used#", df_root_used,
                       1);
}
