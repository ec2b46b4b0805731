// vmstat's header rule with procps-ng 4's "gu" column after "st".
#include <gtest/gtest.h>

#include "probes/command.h"
#include "probes/cpu.h"

using namespace dorv;

TEST(VmstatOffset, GuColumnMovesUserAndSystemOneFurtherBack)
{
    EXPECT_EQ(
        vmstat_offset(" r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st gu"),
        6);
    EXPECT_EQ(
        vmstat_offset(" r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st"), 5);
    EXPECT_EQ(vmstat_offset("gu"), 6);
    EXPECT_EQ(vmstat_offset("u"), 3);
}

TEST(ParseVmstat, ProcpsFourSampleAddsUserAndSystem)
{
    text_lines lines(
        "procs -----------memory---------- ---swap-- -----io---- -system-- -------cpu-------\n"
        " r  b   swpd   free   buff  cache   si   so    bi    bo   in   cs us sy id wa st gu\n"
        " 1  0      0 23368412  17052 1156244    0    0  1556   769  219  431 22  6 72  0  0  0\n"
        " 0  0      0 23368412  17052 1156244    0    0     0     0  215  281  7  2 90  1  0  0\n");
    EXPECT_EQ(parse_vmstat(lines), 9);
}
