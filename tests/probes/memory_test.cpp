// Memory checks: top's layouts, the free-share arithmetic and the comparison.
#include <gtest/gtest.h>

#include <cctype>
#include <climits>
#include <cstdint>

#include "probes/command.h"
#include "probes/memory.h"
#include "support/capture.h"
#include "support/fake_command.h"
#include "support/fixture.h"

using namespace dorv;

namespace {

free_figures parse(std::string_view text)
{
    text_lines lines(text);
    free_figures f;
    parse_top(lines, f);
    return f;
}

struct layout_case {
    const char* file;
    int ram;
    int swap;
};

void PrintTo(const layout_case& c, std::ostream* os)
{
    *os << c.file;
}

class TopLayout : public testing::TestWithParam<layout_case> {};

} // namespace

// Whole outputs of top, one per layout; the expected shares are worked out by hand from the
// amounts that the summary lines show.
TEST_P(TopLayout, GivesTrueFreeShares)
{
    const layout_case& c = GetParam();
    std::string text = dorv_test::fixture(std::string("top/") + c.file);
    ASSERT_FALSE(text.empty()) << c.file;
    free_figures f = parse(text);
    EXPECT_EQ(f.ram, c.ram) << c.file;
    EXPECT_EQ(f.swap, c.swap) << c.file;
}

INSTANTIATE_TEST_SUITE_P(
    Fixtures, TopLayout,
    testing::Values(
        // Mem 100M in use of 510M; Swap 768M used of 1024M.
        layout_case{"freebsd-example.txt", 81, 25},
        // Mixed K and M: 64M in use of 77512K; 38M of 256M.
        layout_case{"freebsd-9-cache.txt", 16, 86},
        // Laundry counts as in use; the ARC lines are no memory summary.
        layout_case{"freebsd-13-laundry.txt", 53, 100}, layout_case{"dragonfly-4.txt", 86, 25},
        // Free RAM = free + buffers + the Swap line's cached.
        layout_case{"linux-procps-3.2.txt", 73, 99}, layout_case{"linux-procps-3.3-kb.txt", 84, 64},
        // Free RAM = "avail Mem" of the Swap line.
        layout_case{"linux-procps-3.3.10-kib.txt", 89, 100},
        // Captured on the build machine: 994.8 MiB not available of 24105.2; no swap at all.
        layout_case{"linux-procps-4-mib.txt", 96, 0}, layout_case{"linux-procps-4-gib.txt", 37, 75},
        layout_case{"openbsd-7-cache.txt", 27, 63}, layout_case{"openbsd-4-nocache.txt", 79, 100},
        layout_case{"sunos-5.10-physmem.txt", 10, 75}, layout_case{"sunos-5.8-real.txt", 19, 76},
        layout_case{"irix64-6.5.txt", 75, 75},
        // NetBSD: free queue and file cache of Act + Inact + Wired + Free; a zero field is
        // left out (no Free: 22M File of 58376K available).
        layout_case{"netbsd-9-two-cpus.txt", 92, 100}, layout_case{"netbsd-no-free.txt", 39, 86},
        // BusyBox: free + buff + cached of used + free, 1638040K in use of 24683728K; no
        // swap line.
        layout_case{"busybox-1.35.txt", 94, -1}),
    [](const testing::TestParamInfo<layout_case>& param) {
        std::string name = param.param.file;
        name = name.substr(0, name.find(".txt"));
        for (char& ch : name)
            if (!std::isalnum(static_cast<unsigned char>(ch)))
                ch = '_';
        return name;
    });

namespace {

struct line_case {
    const char* what;
    const char* text; // one or more lines
    int ram;
    int swap;
};

} // namespace

TEST(ParseTop, SingleLinesAndSequences)
{
    const line_case cases[] = {
        // Layouts of the count rules.
        {"sunos count", "Memory: 2048M real, 512M free, 4096M swap, 3072M free swap", 25, 75},
        {"openbsd old", "Memory: Real: 40M/180M act/tot Free: 320M Swap: 16M/512M used/tot", 64, 97},
        {"mem 4 bare", "Mem: 1000 250 750 0", 75, -1},
        {"mem 5 bare", "Mem: 1000 250 750 0 5", 75, -1},
        {"mem 6 bare", "Mem: 20 100 50 10 30 300", 81, -1},
        {"mem 3 bare", "Mem: 1 2 3", -1, -1},
        {"mem 7 bare", "Mem: 1 2 3 4 5 6 7", -1, -1},
        {"swap 4 bare", "Swap: 1000 0 250 750", -1, 75},
        {"swap 2 bare", "Swap: 1024 256", -1, 25},
        {"swap 3 bare", "Swap: 1 2 3", -1, -1},
        {"memory 5 bare", "Memory: 1000 900 250 800 600", 25, 75},
        {"memory 3 bare", "Memory: 1 2 3", -1, -1},
        {"real 5 bare", "Memory: Real: 10 20 30 40 50", 60, 20},
        {"real too few", "Memory: Real: 1 2 3 4", -1, -1},
        // A fraction is no BSD amount: the line holds 1, 5, 1 and so sets nothing.
        {"bsd swap fraction", "Swap: 1.5G Total, 1G Free", -1, 67},
        {"both zero", "Swap: 0 0", -1, 0},
        {"both zero labelled", "Swap: 0K Total, 0K Free", -1, 0},
        {"lower case", "mem: 1000 250 750 0", -1, -1},
        {"leading blank", " Mem: 1000 250 750 0", -1, -1},
        {"empty swap", "Swap:", -1, -1},
        // Labelled BSD lines, whatever their count.
        {"bsd mem 5 fields", "Mem: 541M Active, 450M Inact, 1333M Wired, 4064K Cache, 1498M Free", 52, -1},
        {"bsd mem 3 fields", "Mem: 1G Active, 1G Wired, 2G Free", 50, -1},
        {"bsd mem 7 fields", "Mem: 1M Active, 1M Inact, 1M Laundry, 1M Wired, 1M Cache, 1M Buf, 4M Free", 60,
         -1},
        // Labels that no reader knows set nothing, whatever the count of numbers.
        {"bsd mem unknown label", "Mem: 1M Active, 1M Bogus, 1M Wired, 1M Buf", -1, -1},
        {"netbsd memory sets no swap", "Memory: 45M Act, 12M Inact, 8K Wired, 4M Exec, 22M File", 39, -1},
        {"netbsd as an unknown swap", "Swap: 45M Act, 12M Inact", -1, -1},
        {"unknown memory labels", "Memory: 1000M phys, 900M spare, 250M x, 800M y, 600M z", -1, -1},
        {"bsd mem label twice", "Mem: 4M Active, 1M Active, 2M Free, 9M Wired", -1, -1},
        {"bsd swap used", "Swap: 4096M Total, 1024M Used, 3072M Free, 25% Inuse, 8K In, 4K Out", -1, 75},
        {"bsd swap used only", "Swap: 4G Total, 1G Used", -1, 75},
        {"bsd swap total only", "Swap: 4G Total", -1, -1},
        {"bsd swap percent elsewhere", "Swap: 4G Total, 1G Used, 25% Free", -1, -1},
        // OpenBSD with Cache: the swap amounts follow "Swap:".
        {"openbsd cache", "Memory: Real: 411M/713M act/tot Free: 256M Cache: 152M Swap: 192M/512M", 27, 63},
        {"openbsd units", "Memory: Real: 1G/2G act/tot Free: 2048M Cache: 5M Swap: 512K/1G", 50, 100},
        // SunOS and IRIX wordings.
        {"sunos phys", "Memory: 3647M phys mem, 1621M free mem, 2047M swap, 2047M free swap", 45, 100},
        {"sunos in use", "Memory: 128M real, 24M free, 96M swap in use, 290M swap free", 19, 76},
        {"sunos units", "Memory: 2G real, 512M free, 1G swap in use, 1G swap free", 25, 50},
        {"irix", "Memory: 4G max, 3900M avail, 1G free, 2G swap, 1G free swap", 25, 50},
        // Linux procps: labels in any order, "avail Mem" from the Swap line.
        {"procps 3.2",
         "Mem:   1000k total,   900k used,   100k free,   200k buffers\n"
         "Swap:  2000k total,   500k used,  1500k free,   300k cached",
         60, 75},
        {"procps 3.2 mem alone", "Mem:   1000k total,   900k used,   100k free,   200k buffers", 30, -1},
        {"kib avail",
         "KiB Mem :  1000 total,  100 free,  600 used,  300 buff/cache\n"
         "KiB Swap:  400 total,  300 free,  100 used.  350 avail Mem",
         35, 75},
        {"mib decimals",
         "MiB Mem :  2000.0 total,  100.5 free,  999.9 used,  899.6 buff/cache\n"
         "MiB Swap:  1024.0 total,  1024.0 free,  0.0 used.  1000.0 avail Mem",
         50, 100},
        {"tib",
         "TiB Mem :  2.0 total,  0.2 free,  1.0 used,  0.8 buff/cache\n"
         "TiB Swap:  0.0 total,  0.0 free,  0.0 used.  1.5 avail Mem",
         75, 0},
        {"avail without mem line", "KiB Swap:  400 total,  300 free,  100 used.  350 avail Mem", -1, 75},
        {"avail used once",
         "KiB Mem :  1000 total,  100 free,  600 used,  300 buff/cache\n"
         "KiB Swap:  400 total,  300 free,  100 used.  350 avail Mem\n"
         "KiB Swap:  400 total,  300 free,  100 used.  900 avail Mem",
         35, 75},
        // A number too wide for procps' field comes cut, with '+': no true figure there.
        {"procps cut", "KiB Mem : 32781068+total, 27617988+free,  1878068 used,  3285592 buff/cache", -1, -1},
        // A comma as decimal separator (another locale) is no layout of these.
        {"decimal comma", "MiB Mem :  24105,2 total,  23086,6 free,    844,3 used,    397,7 buff/cache", -1,
         -1},
        {"unit word without colon", "KiB Mem  1000 total, 100 free", -1, -1},
        // The later line counts.
        {"later wins", "Mem: 1000 250 750 0\nMem: 1000 500 500 0\nSwap: 1024 256\nSwap: 100 0", 50, 0},
        {"memory sets both", "Mem: 1000 250 750 0\nSwap: 1024 256\nMemory: 1000 900 250 800 600", 25, 75},
        {"trailing carriage return",
         "Mem: 20M Active, 100M Inact, 50M Wired, 10M Cache, 30M Buf, 300M Free\r\n", 81, -1},
    };
    for (const line_case& c : cases) {
        free_figures f = parse(c.text);
        EXPECT_EQ(f.ram, c.ram) << c.what;
        EXPECT_EQ(f.swap, c.swap) << c.what;
    }
}

// Amounts of any size and precision are computed without overflow; the sanitizer run
// catches any that would.
TEST(ParseTop, HugeAndLongAmountsStayExact)
{
    const line_case cases[] = {
        {"saturated used and total", "Mem: 99999999999999999999999999999999T Active, 1K Free", 0, -1},
        {"saturated total only", "Mem: 1K Active, 99999999999999999999999999999999E Free", 100, -1},
        {"exabytes",
         "EiB Mem :  7.5 total,  0.5 free,  5.0 used,  2.0 buff/cache\n"
         "EiB Swap:  7.9 total,  7.9 free,  0.0 used.  1.875 avail Mem",
         25, 100},
        {"many decimals", "GiB Mem :  1.99999999999999999999 total,  0.5 free,  1.0 used,  0.0 buff/cache",
         26, -1},
        {"used and cache beyond total",
         "KiB Mem :  1 total,  99999999999999999999999 used,  99999999999999999999999 buffers\n"
         "KiB Swap:  1 total,  1 free,  0 used,  99999999999999999999999 cached",
         -1, 100},
        {"count rule at int max", "Mem: 2147483647 2147483647 0 0", 0, -1},
        {"count rule beyond int", "Swap: 99999999999999 1", -1, 1},
        {"count rule sums", "Mem: 2147483647 0 2147483647 0 2147483647 2147483647", 25, -1},
    };
    for (const line_case& c : cases) {
        free_figures f = parse(c.text);
        EXPECT_EQ(f.ram, c.ram) << c.what;
        EXPECT_EQ(f.swap, c.swap) << c.what;
    }
}

// Amounts that cannot be true give no figure: the check answers with the cause, naming the
// command and what is wrong with the line. The other figure of the line stays.
TEST(FreeCheck, ImpossibleLinesOfTopAnswerWithTheirCause)
{
    dorv_test::fake_commands fake{dorv_test::first_on_path};
    dorv_test::stderr_capture trace;
    const std::string ram = "top -d 1 -n 1 -b printed a line whose RAM amounts cannot be true: ";
    const std::string swap = "top -d 1 -n 1 -b printed a line whose swap amounts cannot be true: ";
    const char *above = "free above total", *over = "used above total", *negative = "a negative amount";
    const std::pair<const char*, std::string> cases[] = {
        {"Swap: 100 Total, 300 Free", swap + above},
        {"Swap: 3 Total, 4 Free", swap + above},
        {"Swap: 100M Total, 20M Used, 300M Free", swap + above},
        {"Swap: 1G Total, 2G Used", swap + over},
        {"KiB Swap:  0 total,  18446744073709551488 free,  0 used.  1000 avail Mem", swap + above},
        {"KiB Mem :  1000 total,  2000 free,  0 used,  0 buff/cache", ram + above},
        {"Mem:  1000k total,  2000k used,  100k free,  0k buffers", ram + over},
        {"KiB Mem :  1000 total,  100 free,  600 used,  300 buff/cache\n"
         "KiB Swap:  400 total,  300 free,  100 used.  5000 avail Mem",
         ram + above},
        {"Memory: 1G real, 2G free, 1G swap, 512M free swap", ram + above},
        {"Memory: 1G real, 2G free, 1G swap, 512M free swap", "50% of SWAP memory free"},
        {"Mem: 100K used, 100K free, 0K shrd, 200K buff, 0K cached", ram + above},
        // The count rules would read "-100" as 100.
        {"Swap: 300 Total, -100 Free", swap + negative},
        {"Memory: 2048M real, -512M free, 4096M swap, 3072M free swap", ram + negative},
        {"Memory: 2048M real, -512M free, 4096M swap, 3072M free swap", swap + negative},
        // A procps Swap line completes the RAM figure of the Mem line before it.
        {"KiB Mem :  1000 total,  100 free,  600 used,  300 buff/cache\n"
         "KiB Swap:  400 total,  -300 free,  100 used.  350 avail Mem",
         ram + negative},
        // True amounts: no swap at all, a dash that is no sign, a later true line.
        {"Swap: 0 Total, 0 Free", "Low SWAP memory: 0% free"},
        {"Mem: 1000 250 750 0 -", "75% of RAM memory free"},
        {"Swap: 100 Total, 300 Free\nSwap: 100 Total, 50 Free", "50% of SWAP memory free"},
        {"Swap: 100 Total, 50 Free\nSwap: 3 Total, 4 Free", swap + above},
    };
    for (const auto& [line, text] : cases) {
        fake.printing("top", std::string(line) + "\n");
        bool of_ram = text.find("RAM") != std::string::npos;
        param_array arg;
        arg.texts = {of_ram ? "Free RAM Limit [%]" : "Free Swap Limit [%]", "10"};
        int status = -1;
        std::string result;
        (of_ram ? run_ram : run_swap)(arg, status, result);
        EXPECT_EQ(result, text) << line;
        EXPECT_EQ(status, text.starts_with("top") ? -1 : text.starts_with("Low") ? 0 : 1) << line;
    }
}

TEST(GetFreeSave, RoundsUsedDownAndHandlesEveryRange)
{
    struct {
        std::int64_t used, total;
        int figure;
    } const cases[] = {
        {100, 510, 81}, // 19.6 % used
        {0, 0, 0},      // no total
        {7, 0, 0},
        {-5, 100, 105}, // negative used: above 100
        {5, -10, 150},
        {-5, -10, 50},
        {510, 510, 0},
        {1, INT64_MAX, 100},
        {INT64_MAX, INT64_MAX, 0},
        {INT64_MAX - 1, INT64_MAX, 1}, // 99.99... % used
        {INT64_MAX / 2, INT64_MAX, 51},
        {INT64_MIN, INT64_MIN, 0},
        {INT64_MAX, 1, INT_MIN}, // held within the int range
        {INT64_MIN, 1, INT_MAX},
        {INT64_MIN, -1, INT_MIN},
        {21474837, 21474837, 0}, // used * 100 beyond 32 bits
        {3000000000, 4000000000, 25},
    };
    for (const auto& c : cases) {
        int figure = -7;
        get_free_save(&figure, c.used, c.total);
        EXPECT_EQ(figure, c.figure) << c.used << " of " << c.total;
    }
    get_free_save(nullptr, 1, 2); // nowhere to store: nothing happens
}

namespace {

param_array args(const std::string& key, const std::string& value)
{
    param_array a;
    a.texts = {key, value};
    return a;
}

free_reader gives(int ram, int swap)
{
    return [=](int* r, int* s, std::string&) {
        if (r)
            *r = ram;
        if (s)
            *s = swap;
        return 1;
    };
}

} // namespace

TEST(FreeCheck, ComparesTheChosenFigureWithTheLimit)
{
    const char* ram_ok = "%d%% of RAM memory free";
    const char* ram_low = "Low RAM memory: %d%% free";
    struct {
        int check_ram;
        int ram, swap;
        const char* limit;
        int status;
        const char* text;
    } const cases[] = {
        {1, 10, 90, "10", 0, "Low RAM memory: 10% free"}, // equal to the limit: down
        {1, 11, 0, "10", 1, "11% of RAM memory free"},
        {0, 90, 25, "30", 0, "Low RAM memory: 25% free"}, // check_ram 0 takes the swap figure
        {0, 0, 31, "30", 1, "31% of RAM memory free"},
        {1, -1, 50, "-2", -1, "no RAM figure"}, // no figure is compared with any limit
        {0, 50, -1, "-1", -1, "no swap figure"},
        {1, 81, 0, "80%", 1, "81% of RAM memory free"}, // leading integer of the limit
        {1, 1, 0, "abc", 1, "1% of RAM memory free"},   // no digits: 0
        {1, 0, 0, "abc", 0, "Low RAM memory: 0% free"},
        {1, 100, 0, " +99x", 1, "100% of RAM memory free"},
    };
    for (const auto& c : cases) {
        int status = -1;
        std::string result;
        free_check(args("Free RAM Limit [%]", c.limit), status, result, c.check_ram, "Free RAM Limit [%]",
                   ram_ok, ram_low, gives(c.ram, c.swap));
        EXPECT_EQ(status, c.status) << c.limit;
        EXPECT_EQ(result, c.text) << c.limit;
    }
}

TEST(FreeCheck, ReadersCauseIsTheResultAndNoStatusIsSet)
{
    int status = -1;
    std::string result;
    free_check(args("Free Swap Limit [%]", "-1"), status, result, 0, "Free Swap Limit [%]",
               "%d%% of SWAP memory free", "Low SWAP memory: %d%% free", [](int*, int* s, std::string& why) {
                   *s = 40; // a figure read before the command failed is not used
                   why = "top -d 1 -n 1 -b did not finish within 10 s";
                   return 1;
               });
    EXPECT_EQ(status, -1);
    EXPECT_EQ(result, "top -d 1 -n 1 -b did not finish within 10 s");
}

TEST(ParseFree, SwapLineOfTotalUsedAndFree)
{
    struct {
        std::string text;
        int swap;
    } const cases[] = {
        {dorv_test::fixture("free/busybox-1.35-no-swap.txt"), 0},
        {dorv_test::fixture("free/linux-procps-4-no-swap.txt"), 0},
        {"Swap:       2097148      524288     1572860\n", 75},
        {"Swap:       2097148      524288\n", -1},             // not free's layout
        {"Swap:          1.9G      512.0M        1.5G\n", -1}, // free -h
        {"Swap:           100           0         300\n", -1}, // more free than there is
        {"Swap:           100          10         -90\n", -1},
        {"Mem:        1000         250         750\n", -1},
    };
    for (const auto& c : cases) {
        text_lines lines(c.text);
        free_figures f;
        parse_free(lines, f);
        EXPECT_EQ(f.swap, c.swap) << c.text;
        EXPECT_EQ(f.ram, -1);
    }
}

// BusyBox's top prints no swap line: free gives the figure, and only after a top that gave
// a RAM figure and ended well.
TEST(GetFree, SwapFromFreeWhereTopHasNone)
{
    dorv_test::fake_commands fake{dorv_test::first_on_path};
    dorv_test::stderr_capture trace;
    fake.printing("free", "              total        used        free\nSwap:  400  100  300\n");
    const struct {
        std::string top;
        int swap;
        const char* problem;
    } cases[] = {
        {"cat '" + dorv_test::fixture_path("top/busybox-1.35.txt") + "'\n", 75, ""},
        {"echo 'Mem: 1K used, 3K free, 0K shrd, 0K buff, 0K cached'; exit 1\n", -1,
         "top -d 1 -n 1 -b printed no line that gives the swap figure (exit status 1)"},
        {"echo 'Load average: 0.00'\n", -1, "top -d 1 -n 1 -b printed no line that gives the swap figure"},
    };
    for (const auto& c : cases) {
        fake.script("top", c.top);
        int swap = -1;
        std::string problem;
        get_free(nullptr, &swap, &problem);
        EXPECT_EQ(swap, c.swap) << c.top;
        EXPECT_EQ(problem, c.problem);
    }
    fake.script("top", cases[0].top);
    fake.printing("free", "Swap:  400  0  500\n");
    int swap = -1;
    std::string problem;
    get_free(nullptr, &swap, &problem);
    EXPECT_EQ(problem, "top -d 1 -n 1 -b printed no line that gives the swap figure");
    EXPECT_NE(trace.text().find("free printed a Swap line whose amounts cannot be true: free above total\n"),
              std::string::npos);
}

TEST(FreeCheck, OtherFirstKeyLeavesStatusAndResult)
{
    bool was_read = false;
    free_reader spy = [&](int*, int*, std::string&) {
        was_read = true;
        return 1;
    };
    for (const char* key : {"free ram limit [%]", "Free RAM Limit [%] ", "Free Swap Limit [%]", ""}) {
        int status = -1;
        std::string result = "untouched";
        free_check(args(key, "10"), status, result, 1, "Free RAM Limit [%]", "%d%%", "%d%%", spy);
        EXPECT_EQ(status, -1) << key;
        EXPECT_EQ(result, "untouched") << key;
    }
    int status = -1;
    std::string result = "untouched";
    free_check(param_array{}, status, result, 1, "Free RAM Limit [%]", "%d%%", "%d%%", spy);
    EXPECT_EQ(status, -1);
    EXPECT_FALSE(was_read);
}

TEST(MemoryParams, OneNumberFieldEach)
{
    param_array ram, swap;
    EXPECT_EQ(params_ram(ram), 6);
    EXPECT_EQ(params_swap(swap), 6);
    EXPECT_EQ(ram.texts, (std::vector<std::string>{"paramname1", "Free RAM Limit [%]", "paramtype1",
                                                   "longinteger", "maxlength1", "100"}));
    EXPECT_EQ(swap.texts, (std::vector<std::string>{"paramname1", "Free Swap Limit [%]", "paramtype1",
                                                    "longinteger", "maxlength1", "100"}));
}
