// Disk space check: mount points and capacity figures of captured df output, and the
// runner against this host's df.
#include "probes/disk.h"

#include <gtest/gtest.h>
#include <sys/stat.h>

#include "base/text_helpers.h"
#include "protocol/packet.h"
#include "support/fixture.h"

using namespace dorv;
using dorv_test::fixture;

namespace {

using mounts = std::vector<std::string>;

disk_list parse(const std::string& text, const std::optional<std::string>& free = std::nullopt,
                int disks_max = max_entries)
{
    text_lines lines(text);
    return parse_df(lines, free, disks_max);
}

struct df_case {
    const char* fixture;
    mounts points;
    const char* asked;
    int capacity;
};

class DfFixture : public ::testing::TestWithParam<df_case> {};

TEST_P(DfFixture, ListsMountPointsAndFindsTheFigure)
{
    const df_case& c = GetParam();
    std::string text = fixture(c.fixture);
    EXPECT_EQ(parse(text).mounts, c.points);
    EXPECT_EQ(parse(text).capacity, 0);
    disk_list found = parse(text, std::string(c.asked));
    EXPECT_EQ(found.mounts, c.points);
    EXPECT_EQ(found.capacity, c.capacity);
}

INSTANTIATE_TEST_SUITE_P(
    Layouts, DfFixture,
    ::testing::Values(df_case{"df/freebsd-example.txt", {"/", "/dev", "/tmp", "/usr"}, "/usr", 63},
                      df_case{"df/freebsd-13-zfs.txt",
                              {"/", "/dev", "/tmp", "/usr/home", "/var/log", "/mnt/my disk",
                               "/media/usb\tstick", "/dev/fd"},
                              "/mnt/my disk",
                              9},
                      df_case{"df/freebsd-13-zfs.txt",
                              {"/", "/dev", "/tmp", "/usr/home", "/var/log", "/mnt/my disk",
                               "/media/usb\tstick", "/dev/fd"},
                              "/media/usb\tstick",
                              100},
                      df_case{"df/sunos-xpg4-P.txt",
                              {"/", "/devices", "/system/contract", "/proc", "/etc/mnttab",
                               "/etc/svc/volatile", "/system/object", "/etc/dfs/sharetab", "/lib/libc.so.1",
                               "/dev/fd", "/tmp", "/var/run", "/export/home"},
                              "/",
                              55},
                      df_case{"df/linux-bin-df.txt", {"/dev", "/dev/shm", "/", "/sys/fs/cgroup"}, "/", 17},
                      // BusyBox puts a long file system name on a line of its own.
                      df_case{"df/busybox-1.35.txt",
                              {"/", "/sys/fs/cgroup", "/dev", "/dev/shm", "/dev/shm", "/tmp/bbmnt"},
                              "/tmp/bbmnt",
                              29},
                      // IRIX prints its %use column without a sign: no line qualifies.
                      df_case{"df/irix64-bin-df.txt", {}, "/", 0}));

TEST(ParseDf, WorkedExampleHomeIsNotListed)
{
    EXPECT_EQ(parse(fixture("df/freebsd-example.txt"), std::string("/home")).capacity, 0);
    EXPECT_EQ(parse(fixture("df/freebsd-example.txt"), std::string("/usr ")).capacity, 0);
}

TEST(ParseDf, LineRules)
{
    struct {
        const char* text;
        const char* asked;
        mounts points;
        int capacity;
    } cases[] = {
        {"Filesystem Size Used Avail Use% Mounted on\n", "", {}, 0},
        // Only the first '%' counts, even when a later one would qualify.
        {"weird% 10 20 30 40% /a\n", "/a", {}, 0},
        {"%42% /a\n", "/a", {}, 0},
        {"42% /a\n", "/a", {"/a"}, 42},
        {"tmpfs 42%\n", "", {""}, 42},
        {"tmpfs 42%   \n", "", {""}, 42},
        {"x 42% /a b \n", "/a b ", {"/a b "}, 42},
        {"x 42%\t/a\n", "\t/a", {"\t/a"}, 42},
        {"x 42%/a\n", "/a", {"/a"}, 42},
        // The one character before the digits: blank skipped, a sign taken, anything else 0.
        {"x -42% /a\n", "/a", {"/a"}, -42},
        {"x +42% /a\n", "/a", {"/a"}, 42},
        {"x\t42% /a\n", "/a", {"/a"}, 42},
        {"x=42% /a\n", "/a", {"/a"}, 0},
        {"x 1.5% /a\n", "/a", {"/a"}, 0},
        {"x --42% /a\n", "/a", {"/a"}, -42},
        {"x 99999999999% /a\n", "/a", {"/a"}, 2147483647},
        // The same mount point twice: both listed, the later figure wins.
        {"a 10% /m\nb 20% /m\nc 30% /n\n", "/m", {"/m", "/m", "/n"}, 20},
        {"a 10% /m\r\n", "/m", {"/m"}, 10},
    };
    for (const auto& c : cases) {
        disk_list d = parse(c.text, std::string(c.asked));
        EXPECT_EQ(d.mounts, c.points) << c.text;
        EXPECT_EQ(d.capacity, c.capacity) << c.text;
    }
}

TEST(ParseDf, KeepsAtMostCapacityLessOneButReadsOn)
{
    disk_list d = parse("a 1% /a\nb 2% /b\nc 3% /c\nd 4% /d\n", std::string("/d"), 3);
    EXPECT_EQ(d.mounts, (mounts{"/a", "/b"}));
    EXPECT_EQ(d.capacity, 4);
}

TEST(DfCommand, XpgDfWhenPresentElseBinDf)
{
    struct stat st;
    bool xpg = ::stat("/usr/xpg4/bin/df", &st) == 0;
    EXPECT_EQ(df_command(), xpg ? "/usr/xpg4/bin/df -P" : "/bin/df");
}

// This host's df, read by the test itself: the mount points after "% ", and the figure of
// the first one whose share is not 100 (so that a limit of 100 - used is a usable number).
struct host_df {
    mounts points;
    std::string disk;
    int used = -1;
};

host_df read_host_df()
{
    host_df h;
    command_pipe df(df_command());
    std::string line;
    bool header = true;
    while (df.next(line)) {
        if (header) {
            header = false;
            continue;
        }
        chomp(line);
        std::size_t pc = line.find("% ");
        if (pc == std::string::npos)
            continue;
        std::size_t start = line.rfind(' ', pc) + 1;
        std::string point = line.substr(line.find_first_not_of(' ', pc + 1));
        h.points.push_back(point);
        int used = std::stoi(line.substr(start, pc - start));
        if (h.used < 0 && used < 100) {
            h.disk = point;
            h.used = used;
        }
    }
    return h;
}

TEST(ParamsDiskspace, NumberFieldThenTheHostsMountPoints)
{
    host_df h = read_host_df();
    param_array p;
    int n = params_diskspace(p);
    EXPECT_EQ(n, 16 + 2 * static_cast<int>(h.points.size()));
    ASSERT_EQ(n, p.size());
    std::string expect = "#paramname1=Disk Free Limit [%]#paramtype1=longinteger#maxlength1=100#"
                         "paramname2=Disks#paramtype2=listcombo#valuecount=" +
                         std::to_string(h.points.size()) + "#";
    for (std::size_t k = 0; k < h.points.size(); ++k)
        expect += "value" + std::to_string(k + 1) + "=" + h.points[k] + "#";
    expect += "atbutton_paramcount=1#atbutton_param1=Disks#";
    EXPECT_EQ(dorv_pack(p), expect);
}

class RunDiskspace : public ::testing::Test {
  protected:
    void run(std::vector<std::pair<std::string, std::string>> pairs)
    {
        param_array arg;
        for (const auto& [k, v] : pairs)
            array_add(arg, k, 0, v);
        status = -1;
        result = "No result";
        run_diskspace(arg, status, result);
    }
    int status = -1;
    std::string result;
};

TEST_F(RunDiskspace, UpWhileMoreThanTheLimitIsFree)
{
    host_df h = read_host_df();
    if (h.used < 0)
        GTEST_SKIP() << "df lists no disk below 100%";
    std::string used = std::to_string(h.used);
    run({{"Disk Free Limit [%]", std::to_string(99 - h.used)}, {"Disks", h.disk}});
    EXPECT_EQ(status, 1);
    EXPECT_EQ(result, "Disk " + h.disk + " is " + used + "% used");
    // Free share equal to the limit is down.
    run({{"Disk Free Limit [%]", std::to_string(100 - h.used)}, {"Disks", h.disk}});
    EXPECT_EQ(status, 0);
    EXPECT_EQ(result, "Out of disk space on disk " + h.disk + ": " + used + "% used");
}

TEST_F(RunDiskspace, UnlistedDiskIsDownAsNotMounted)
{
    for (const char* limit : {"0", "10", "100"}) {
        run({{"Disk Free Limit [%]", limit}, {"Disks", "/no/such/mount point"}});
        EXPECT_EQ(status, 0);
        EXPECT_EQ(result, "Disk /no/such/mount point is not mounted");
    }
}

TEST_F(RunDiskspace, ArgumentsOfAnotherShapeGiveNoStatus)
{
    run({});
    EXPECT_EQ(status, -1);
    run({{"Disk Free Limit [%]", "10"}});
    EXPECT_EQ(status, -1);
    run({{"Disks", "/"}, {"Disk Free Limit [%]", "10"}});
    EXPECT_EQ(status, -1);
    run({{"Disk Free Limit [%]", "10"}, {"disks", "/"}});
    EXPECT_EQ(status, -1);
    EXPECT_EQ(result, "No result");
}

} // namespace
