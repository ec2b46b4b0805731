// Number scanning: parse_nums.
#include "probes/numbers.h"

#include <gtest/gtest.h>

#include <cstdint>
#include <string>
#include <vector>

using namespace dorv;

namespace {

struct nums_case {
    std::string line;
    std::vector<std::int32_t> expected;
};

class ParseNums : public ::testing::TestWithParam<nums_case> {};

TEST_P(ParseNums, FindsEveryRunOfDigits)
{
    const nums_case& c = GetParam();
    std::int32_t num[16];
    for (auto& n : num)
        n = -7;
    int count = parse_nums(c.line, num, 16);
    ASSERT_EQ(count, static_cast<int>(c.expected.size()));
    for (int i = 0; i < count; ++i)
        EXPECT_EQ(num[i], c.expected[static_cast<std::size_t>(i)]) << "number " << i;
    // Entries from the count on keep what they held.
    for (int i = count; i < 16; ++i)
        EXPECT_EQ(num[i], -7) << "entry " << i;
    EXPECT_EQ(parse_nums(c.line), c.expected);
}

INSTANTIATE_TEST_SUITE_P(
    Lines, ParseNums,
    ::testing::Values(nums_case{"Mem: 1.5G -3 x7y", {1, 5, 3, 7}}, nums_case{"no digits here", {}},
                      nums_case{"", {}}, nums_case{"-12", {12}}, nums_case{"+12", {12}},
                      nums_case{"12.5", {12, 5}}, nums_case{"512M", {512}}, nums_case{"1G", {1}},
                      nums_case{"1,024", {1, 24}}, nums_case{"ad0", {0}}, nums_case{"007", {7}},
                      nums_case{"2147483647 2147483648 99999999999999999999",
                                {INT32_MAX, INT32_MAX, INT32_MAX}},
                      // Arabic-Indic digit three (U+0663): bytes with the high bit set are no digits.
                      nums_case{"\xd9\xa3 4\xd9\xa3"
                                "5",
                                {4, 5}},
                      // The line is a C text: nothing after a zero byte counts.
                      nums_case{std::string("12 \0 34", 7), {12}},
                      nums_case{" 0 0 0   98304  51188     6", {0, 0, 0, 98304, 51188, 6}}));

TEST(ParseNums, StoresNoMoreThanItsCapacityButCountsOn)
{
    std::int32_t num[4] = {-1, -1, -1, -1};
    EXPECT_EQ(parse_nums("1 2 3 4 5", num, 3), 5);
    EXPECT_EQ(num[0], 1);
    EXPECT_EQ(num[2], 3);
    EXPECT_EQ(num[3], -1);
}

} // namespace
