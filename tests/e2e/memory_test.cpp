// The RAM and Swap checks end to end: fake top commands pin the exact replies, and the
// real top of this host is compared with the kernel's own figures.
#include <gtest/gtest.h>

#include <unistd.h>

#include <algorithm>
#include <cstdlib>
#include <fstream>
#include <map>
#include <sstream>

#include "e2e/agent_harness.h"
#include "protocol/header.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/host_reading.h"

using namespace dorv_test;

namespace {

std::string top_fixture(const std::string& name)
{
    return fixture_path("top/" + name);
}

// A directory holding a "top" script with the given body, removed at the end of the test.
struct fake_top : fake_commands {
    explicit fake_top(const std::string& body) { script("top", body); }
};

agent_options using_top(const fake_top& top)
{
    agent_options options;
    options.path_prefix = {top.dir()};
    return options;
}

// Sends a runcheck request the way the console writes it and returns the reply.
std::string runcheck(agent& a, const std::string& check, const std::string& name, const std::string& limit)
{
    a.write(dorv::packet_header(dorv::header_side::request, "runcheck", a.session_id(), 2) +
            "#checkid=" + check + "#para=\"#" + name + "=" + limit + "#\"#");
    return a.read_packet();
}

std::string reply(agent& a, const std::string& check, const std::string& result, const std::string& text)
{
    return dorv::packet_header(dorv::header_side::response, "runcheck", a.session_id(), 3) +
           "#checkid=" + check + "#result=" + result + "#resultstring=" + text + "#";
}

std::string ram(agent& a, const std::string& limit)
{
    return runcheck(a, "RAM", "Free RAM Limit [%]", limit);
}
std::string swap(agent& a, const std::string& limit)
{
    return runcheck(a, "Swap", "Free Swap Limit [%]", limit);
}

} // namespace

TEST(MemoryChecks, WorkedExampleGivesExactReplies)
{
    fake_top top("cat '" + top_fixture("freebsd-example.txt") + "'\n");
    agent a(using_top(top));
    EXPECT_EQ(ram(a, "10"), reply(a, "RAM", "up", "81% of RAM memory free"));
    EXPECT_EQ(ram(a, "81"), reply(a, "RAM", "down", "Low RAM memory: 81% free"));
    EXPECT_EQ(swap(a, "30"), reply(a, "Swap", "down", "Low SWAP memory: 25% free"));
    EXPECT_EQ(swap(a, "24"), reply(a, "Swap", "up", "25% of SWAP memory free"));
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

TEST(MemoryChecks, LayoutsOfRealHostsGiveTrueShares)
{
    struct {
        const char* file;
        const char* ram_text;
        const char* swap_text;
    } const cases[] = {
        {"freebsd-9-cache.txt", "16% of RAM memory free", "86% of SWAP memory free"},
        {"linux-procps-3.2.txt", "73% of RAM memory free", "99% of SWAP memory free"},
        {"openbsd-7-cache.txt", "27% of RAM memory free", "63% of SWAP memory free"},
        {"sunos-5.8-real.txt", "19% of RAM memory free", "76% of SWAP memory free"},
        {"netbsd-no-free.txt", "39% of RAM memory free", "86% of SWAP memory free"},
    };
    for (const auto& c : cases) {
        fake_top top(std::string("cat '") + top_fixture(c.file) + "'\n");
        agent a(using_top(top));
        EXPECT_EQ(ram(a, "5"), reply(a, "RAM", "up", c.ram_text)) << c.file;
        EXPECT_EQ(swap(a, "5"), reply(a, "Swap", "up", c.swap_text)) << c.file;
    }
}

// A host without swap shows a total of 0, which gives 0% free: the Swap check is down
// for every limit of 0 or more.
TEST(MemoryChecks, HostWithoutSwapIsDown)
{
    fake_top top("cat '" + top_fixture("linux-procps-4-mib.txt") + "'\n");
    agent a(using_top(top));
    EXPECT_EQ(ram(a, "95"), reply(a, "RAM", "up", "96% of RAM memory free"));
    EXPECT_EQ(swap(a, "0"), reply(a, "Swap", "down", "Low SWAP memory: 0% free"));
    EXPECT_EQ(swap(a, "-1"), reply(a, "Swap", "up", "0% of SWAP memory free"));
}

std::string error_reply(agent& a, const std::string& text)
{
    return dorv::packet_header(dorv::header_side::response, "runcheck", a.session_id(), 1) +
           "#errormessage=" + text + "#";
}

TEST(MemoryChecks, NoFigureWhenTopPrintsNothing)
{
    fake_top top("echo 'top: failed to get memory' >&2\nexit 1\n");
    agent a(using_top(top));
    const std::string cause = " (exit status 1)";
    for (const char* limit : {"10", "-2"})
        EXPECT_EQ(ram(a, limit),
                  error_reply(a, "top -d 1 -n 1 -b printed no line that gives the RAM figure" + cause));
    EXPECT_EQ(swap(a, "-1"),
              error_reply(a, "top -d 1 -n 1 -b printed no line that gives the swap figure" + cause));
    EXPECT_NE(a.trace().find("top: failed to get memory\n"), std::string::npos);
}

// The console's locale must not reach top: a German locale would print decimal commas.
TEST(MemoryChecks, TopRunsInTheCLocale)
{
    fake_top top("if [ \"$LC_ALL\" = C ]; then cat '" + top_fixture("linux-procps-4-mib.txt") +
                 "'; else\n"
                 "echo 'MiB Mem :  24105,2 total,  23086,6 free,    844,3 used,    397,7 buff/cache'\n"
                 "echo 'MiB Swap:      0,0 total,      0,0 free,      0,0 used.  23260,9 avail Mem'\n"
                 "fi\n");
    agent_options options = using_top(top);
    options.env = {{"LC_ALL", "de_DE.UTF-8"}, {"LANG", "de_DE.UTF-8"}};
    agent a(options);
    EXPECT_EQ(ram(a, "50"), reply(a, "RAM", "up", "96% of RAM memory free"));
}

namespace {

// The figure of a memory check's result text.
int figure(const std::string& packet)
{
    std::size_t at = packet.find("resultstring=");
    if (at == std::string::npos)
        return -1000;
    std::string text = packet.substr(at + 13);
    for (const char* low : {"Low RAM memory: ", "Low SWAP memory: "})
        if (text.starts_with(low))
            text = text.substr(std::string(low).size());
    return std::atoi(text.c_str());
}

bool on_path(const std::string& command)
{
    const char* path = std::getenv("PATH");
    std::istringstream dirs(path ? path : "");
    std::string dir;
    while (std::getline(dirs, dir, ':'))
        if (!dir.empty() && ::access((dir + "/" + command).c_str(), X_OK) == 0)
            return true;
    return false;
}

} // namespace

TEST(MemoryChecks, RealTopMatchesTheKernel)
{
    if (!on_path("top") || meminfo().count("MemAvailable") == 0)
        GTEST_SKIP() << "no top or no /proc/meminfo here";
    agent a;
    auto before = meminfo();
    std::string ram_reply = ram(a, "0");
    auto after = meminfo();
    std::string swap_reply = swap(a, "0");
    auto last = meminfo();

    // RAM: within 2 points of the available share, read just before and just after.
    int got = figure(ram_reply);
    double low = 100.0 * std::min(before["MemAvailable"], after["MemAvailable"]) / before["MemTotal"];
    double high = 100.0 * std::max(before["MemAvailable"], after["MemAvailable"]) / before["MemTotal"];
    EXPECT_GE(got, low - 2) << ram_reply;
    EXPECT_LE(got, high + 2) << ram_reply;
    EXPECT_EQ(ram_reply, got > 0
                             ? reply(a, "RAM", "up", std::to_string(got) + "% of RAM memory free")
                             : reply(a, "RAM", "down", "Low RAM memory: " + std::to_string(got) + "% free"));

    // Swap: the free share of the host's swap, 0 without swap.
    if (after["SwapTotal"] == 0 && last["SwapTotal"] == 0) {
        EXPECT_EQ(swap_reply, reply(a, "Swap", "down", "Low SWAP memory: 0% free"));
    } else {
        double share_after = 100.0 * after["SwapFree"] / after["SwapTotal"];
        double share_last = 100.0 * last["SwapFree"] / last["SwapTotal"];
        int swap_got = figure(swap_reply);
        EXPECT_GE(swap_got, std::min(share_after, share_last) - 2) << swap_reply;
        EXPECT_LE(swap_got, std::max(share_after, share_last) + 2) << swap_reply;
    }
}
