// The parameter cache at fleet size: every host's descriptions stay, and the files of
// agents nobody asks about any more go.
#include "console/session/param_cache.h"

#include <sys/stat.h>
#include <utime.h>

#include <ctime>
#include <fstream>
#include <gtest/gtest.h>

#include "support/temp_dir.h"

namespace {

using dorv::param_cache;
using dorv::param_info;

const char* const checks[] = {"CPU", "DiskSpace", "RAM", "Swap", "Processes"};

std::string agent(int i)
{
    return "ssh -oBatchMode=yes -- dorv@10.0." + std::to_string(i / 250) + "." + std::to_string(i % 250) +
           " dorv";
}

// 150 hosts of five checks each (750 entries: a cache of 500 would lose a third),
// described once: afterwards every one is found, so no later cycle asks any host for a
// description again. bench/fleet.sh counts the same at 1,000 hosts.
TEST(ParamCache, EveryHostOfAFleetKeepsItsChecks)
{
    dorv_test::temp_dir dir;
    const int hosts = 150;
    for (int h = 0; h < hosts; ++h) {
        param_cache cache(dir.path("parameters.d"), agent(h));
        for (const char* c : checks) {
            const std::vector<param_info> params = {
                {std::string(c) + " Limit " + std::to_string(h), "longinteger", "3", {}, {}}};
            cache.store(c, &params);
        }
    }
    int found = 0;
    for (int h = 0; h < hosts; ++h) {
        param_cache cache(dir.path("parameters.d"), agent(h));
        for (const char* c : checks)
            if (auto p = cache.find(c);
                p && p->size() == 1 && p->at(0).name == std::string(c) + " Limit " + std::to_string(h))
                ++found;
    }
    EXPECT_EQ(found, hosts * 5);
}

// Storing a new agent's entry sweeps the directory when the last sweep is a day old: an
// agent's file untouched for longer than the cache keeps one goes, a recent one and what
// is not the cache's stay.
TEST(ParamCache, ANewAgentSweepsOutOnlyStaleAgentFiles)
{
    dorv_test::temp_dir dir;
    const std::string d = dir.path("parameters.d");
    const std::vector<param_info> params = {{"Load Limit [%]", "longinteger", "3", {}, {}}};
    param_cache old_agent(d, "old"), recent_agent(d, "recent");
    old_agent.store("CPU", &params);
    recent_agent.store("CPU", &params);
    std::ofstream(d + "/notes") << "kept\n";
    struct {
        std::string path;
        int age_days;
        bool kept;
    } const cases[] = {
        {old_agent.file(), param_cache::stale_days + 1, false},
        {recent_agent.file(), param_cache::stale_days - 1, true},
        {d + "/notes", param_cache::stale_days + 1, true},
        {d + "/.swept", 2, true}, // the last sweep, more than a day ago
    };
    for (const auto& c : cases) {
        std::time_t then = std::time(nullptr) - c.age_days * 24 * 60 * 60;
        utimbuf times{then, then};
        ASSERT_EQ(::utime(c.path.c_str(), &times), 0) << c.path;
    }
    param_cache(d, "new").store("CPU", &params);
    for (const auto& c : cases) {
        struct stat st {};
        EXPECT_EQ(::stat(c.path.c_str(), &st) == 0, c.kept) << c.path;
    }
    // A recent agent read by a run is marked as in use again.
    EXPECT_TRUE(recent_agent.find("CPU"));
    struct stat st {};
    ASSERT_EQ(::stat(recent_agent.file().c_str(), &st), 0);
    EXPECT_GT(st.st_mtime, std::time(nullptr) - 60);
}

} // namespace
