// CPU load check: the header rule, the load of captured vmstat output, and the runner
// over a fake vmstat.
#include "probes/cpu.h"

#include <gtest/gtest.h>

#include "probes/host_forms.h"
#include "protocol/packet.h"
#include "support/fake_command.h"
#include "support/fixture.h"

using namespace dorv;
using namespace dorv_test;

namespace {

TEST(VmstatOffset, ChosenByHowTheHeaderEnds)
{
    struct {
        const char* header;
        int offset;
    } cases[] = {
        {" r b w     avm    fre   flt  re  pi  po    fr  sr ad0 ad1   in   sy   cs us sy id", 3},
        {" r  b   swpd   free   buff  cache   si   so    bi    bo   in    cs us sy id wa", 4},
        {" r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st", 5},
        {"us sy id wa st gu", 6},
        {"id wa", 4},
        {"wa wa", 5}, // both tests hold: the later one wins
        {"wa st", 5},
        {"wa", 4}, // too short for the test of five characters
        {"a", 3},
        {"", 3},
        {"wa st\r", 3}, // the caller strips the line end first
        {"wA", 3},
        {"aw", 3},
    };
    for (const auto& c : cases)
        EXPECT_EQ(vmstat_offset(c.header), c.offset) << '"' << c.header << '"';
}

struct vmstat_case {
    const char* fixture;
    int load;
};

class VmstatFixture : public ::testing::TestWithParam<vmstat_case> {};

TEST_P(VmstatFixture, LoadIsUserPlusSystemOfTheLastSample)
{
    std::string text = fixture(GetParam().fixture);
    text_lines lines(text);
    std::optional<int> load = parse_vmstat(lines);
    ASSERT_TRUE(load);
    EXPECT_EQ(*load, GetParam().load);
}

INSTANTIATE_TEST_SUITE_P(Layouts, VmstatFixture,
                         ::testing::Values(vmstat_case{"vmstat/freebsd-example.txt", 15},
                                           vmstat_case{"vmstat/freebsd-13.txt", 17},
                                           vmstat_case{"vmstat/sunos-5.10.txt", 16},
                                           vmstat_case{"vmstat/linux-procps3-wa.txt", 28},
                                           vmstat_case{"vmstat/linux-procps.txt", 100},
                                           vmstat_case{"vmstat/linux-procps4-gu.txt", 16}));

TEST(ParseVmstat, OddOutputs)
{
    struct {
        const char* text;
        std::optional<int> load;
    } cases[] = {
        // A sample whose header ends in 'wa st'.
        {"t\nus sy id wa st\nx\n 7  2 90  1  0\n", 9},
        {"t\nus sy id\nx\n 1 2 3\n", std::nullopt},  // three numbers
        {"t\nus sy id\nx\nnothing\n", std::nullopt}, // none
        {"t\nus sy id\nx\n1 2 3 4\n", 5},            // places 3 and 2 of four
        {"t\nid wa\nx\n1 2 3 4\n", 3},               // places 4 and 3: the first two
        {"t\nwa st\nx\n1 2 3 4\n", std::nullopt},    // offset 5 needs five numbers
        {"t\nwa st\nx\n1 2 3 4 5\n", 3},
        {"t\nus sy id wa st gu\nx\n1 2 3 4 5\n", std::nullopt},
        {"t\nus sy id wa st gu\nx\n1 2 3 4 5 6\n", 3},
        // Fewer than four lines: the sample examined is the last line printed.
        {"t\nus sy id\n 5 6 7 8 9\n", 15},
        {"t\n10 20 30 40\n", 50},
        {"", std::nullopt},
        // The line end is stripped: a header ending in "wa\r\n" ends in 'wa'.
        {"t\r\nid wa\r\nx\r\n1 2 3 4\r\n", 3},
        // Lines after the fourth are not read.
        {"t\nus sy id\nx\n1 2 3 4\n9 9 9 9 9\n", 5},
    };
    for (const auto& c : cases) {
        text_lines lines(c.text);
        EXPECT_EQ(parse_vmstat(lines), c.load) << c.text;
    }
}

TEST(ParamsCpu, OneNumberFieldOfMaxLength200)
{
    param_array p;
    EXPECT_EQ(params_cpu(p), 6);
    EXPECT_EQ(dorv_pack(p), "#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#");
}

class RunCpu : public ::testing::Test {
  protected:
    void SetUp() override
    {
        dorv::session_forms() = {};
        fake.printing("vmstat", fixture("vmstat/freebsd-example.txt"));
    }
    void TearDown() override { dorv::session_forms() = {}; }
    void run(const std::string& key, const std::string& limit)
    {
        param_array arg;
        array_add(arg, key, 0, limit);
        run_cpu(arg, status, result);
    }
    fake_commands fake{first_on_path};
    int status = -1;
    std::string result = "No result";
};

TEST_F(RunCpu, RunsVmstatWithOneSecondTwoSamples)
{
    run("Load Limit [%]", "80");
    EXPECT_EQ(fake.args_of("vmstat"), "1 2");
}

TEST_F(RunCpu, UpWithinTheLimit)
{
    run("Load Limit [%]", "80");
    EXPECT_EQ(status, 1);
    EXPECT_EQ(result, "CPU load is 15");
}

TEST_F(RunCpu, LoadEqualToLimitIsUp)
{
    run("Load Limit [%]", "15");
    EXPECT_EQ(status, 1);
    run("Load Limit [%]", "15%");
    EXPECT_EQ(status, 1);
}

TEST_F(RunCpu, DownAboveTheLimit)
{
    run("Load Limit [%]", "14");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, "CPU load 15 out of Limit 14");
    run("Load Limit [%]", "abc");
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, "CPU load 15 out of Limit 0");
}

TEST_F(RunCpu, OtherKeyOrNoArgumentLeavesEverything)
{
    for (const char* key : {"load limit [%]", "Load Limit [%] ", "Load Limit"}) {
        run(key, "80");
        EXPECT_EQ(status, -1) << key;
        EXPECT_EQ(result, "No result") << key;
    }
    param_array none;
    run_cpu(none, status, result);
    EXPECT_EQ(status, -1);
}

TEST_F(RunCpu, UnreadableOutputGivesItsCauseAndNoStatus)
{
    struct {
        const char* output;
        const char* result;
    } const cases[] = {
        {"t\nus sy id wa st\nx\n1 2 3 4\n",
         "vmstat 1 2 printed a sample line of 4 numbers, fewer than the 5 its column header needs"},
        {"t\nus sy id\nx\nno numbers\n",
         "vmstat 1 2 printed a sample line of 0 numbers, fewer than the 4 its column header needs"},
        {"", "vmstat 1 2 printed nothing"},
    };
    for (const auto& c : cases) {
        fake.printing("vmstat", c.output);
        run("Load Limit [%]", "80");
        EXPECT_EQ(status, -1) << c.output;
        EXPECT_EQ(result, c.result);
    }
}

TEST(TopCpuLine, BusySharesAddUpAsVmstatCountsThem)
{
    struct {
        const char* line;
        std::optional<int> tenths;
    } const cases[] = {
        {"CPU:  76% usr  23% sys   0% nic   0% idle   0% io   0% irq   0% sirq", 990},
        {"CPU:   2% usr   1% sys   3% nic  90% idle   2% io   1% irq   1% sirq", 80}, // io left out
        {"CPU:  4.5% usr  0.5% sys  0.0% nic 94.0% idle  1.0% io  0.0% irq  0.0% sirq", 50},
        {"CPU:  1.2% user,  0.0% nice,  0.8% system,  0.1% interrupt, 97.9% idle", 21},
        {"CPU:   0% usr   0% sys   0% nic 100% idle   0% io   0% irq   0% sirq", 0},
        {"CPU:  70% usr  30% sys", std::nullopt},         // no idle share
        {"CPU: 100% idle", std::nullopt},                 // no busy share
        {"CPU0:  5% usr  1% sys 94% idle", std::nullopt}, // one processor of several
        {"cpu:  5% usr  1% sys 94% idle", std::nullopt},
        {"%Cpu(s):  5.0 us,  1.0 sy,  0.0 ni, 94.0 id", std::nullopt},
        {"CPU:  5 usr  1 sys 94 idle", std::nullopt}, // figures that are no shares
        {"CPU:  99999999999% usr 0% idle", 1000},
    };
    for (const auto& c : cases)
        EXPECT_EQ(top_cpu_busy_tenths(c.line), c.tenths) << c.line;
}

TEST(ParseTopCpu, LastOfAtLeastTwoFrames)
{
    struct {
        std::string text;
        std::optional<int> load;
        const char* why;
    } const cases[] = {
        {fixture("top/busybox-1.35-two-frames.txt"), 99, ""},
        {"CPU:  9% usr 1% sys 90% idle\nCPU: 20.4% usr 0.1% sys 79.5% idle\n", 21, ""},
        {"CPU:  9% usr 1% sys 90% idle\nMem: 1K used\n", std::nullopt,
         "printed one CPU line, no sample over an interval"},
        {fixture("top/busybox-1.35.txt"), std::nullopt, "printed one CPU line, no sample over an interval"},
        {"", std::nullopt, "printed no CPU line with an idle share"},
    };
    for (const auto& c : cases) {
        text_lines lines(c.text);
        std::string why;
        EXPECT_EQ(parse_top_cpu(lines, &why), c.load) << c.text;
        EXPECT_EQ(why, c.why);
    }
}

// A host without vmstat (BusyBox): top's CPU lines give the load, and the session asks top
// only from then on. When top gives no load either, vmstat's cause is the answer.
TEST_F(RunCpu, WithoutVmstatTopGivesTheLoadForTheRestOfTheSession)
{
    fake.script("vmstat", "echo \"$*\" >> '" + fake.path("vmstat.runs") + "'; exit 127\n");
    fake.printing("top", fixture("top/busybox-1.35-two-frames.txt"));
    for (int i = 0; i < 2; ++i) {
        run("Load Limit [%]", "99");
        EXPECT_EQ(status, 1);
        EXPECT_EQ(result, "CPU load is 99");
    }
    EXPECT_EQ(read_file(fake.path("vmstat.runs")), "1 2\n");
    EXPECT_EQ(fake.args_of("top"), "-d 1 -n 2 -b");

    dorv::session_forms() = {};
    fake.printing("top", "CPU:  9% usr 1% sys 90% idle\n");
    run("Load Limit [%]", "99");
    EXPECT_EQ(result, "vmstat 1 2 printed nothing (exit status 127: command not found)");
    fake.script("vmstat", "exit 1\n");
    run("Load Limit [%]", "99");
    EXPECT_EQ(result, "vmstat 1 2 printed nothing (exit status 1)");
    EXPECT_FALSE(dorv::session_forms().cpu_from_top);
}

} // namespace
