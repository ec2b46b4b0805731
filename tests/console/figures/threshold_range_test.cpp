// Threshold ranges: each form with figures on each side of each end, "@" and "~", their
// simplest written form, and the texts that are no range.
#include "console/figures/threshold_range.h"

#include <gtest/gtest.h>

using namespace dorv;

TEST(ThresholdRange, EachFormAlertsOnTheRightSideOfEachEnd)
{
    struct row {
        std::string text;
        std::vector<double> fine, alert;
        std::string simplest;
    };
    const std::vector<row> rows = {
        {"@10", {-1, 11}, {0, 5, 10}, "@10"},
        {"10:", {10, 10.5, 1e9}, {9.99, 0, -5}, "10:"},
        {"~:10", {10, 0, -1e9}, {10.01, 11}, "10"},
        {"10:20", {10, 15, 20}, {9, 20.5, -10}, "10:20"},
        {"@10:20", {9, 21, 0}, {10, 15, 20}, "@10:20"},
        {"@~:5", {6}, {5, -1}, "@5"},
        {"@10:", {9}, {10, 1e9}, "@10:"},
        {"-5:-1", {-5, -1}, {0, -6}, "-5:-1"},
        {"0:10.50", {0, 10.5}, {10.51, -0.1}, "10.5"},
        {"+07.0:+8", {7, 8}, {6, 9}, "7:8"},
        {"~:", {-1e9, 0, 1e9}, {}, "~:"},
        {"@-0:0", {1}, {0}, "@0"},
    };
    for (const auto& r : rows) {
        std::string why;
        std::optional<threshold_range> range = parse_range(r.text, why);
        ASSERT_TRUE(range) << r.text << ": " << why;
        for (double v : r.fine)
            EXPECT_FALSE(alerts(*range, v)) << r.text << " alerts at " << v;
        for (double v : r.alert)
            EXPECT_TRUE(alerts(*range, v)) << r.text << " is fine at " << v;
        EXPECT_EQ(range_text(*range), r.simplest) << r.text;
    }
}

TEST(ThresholdRange, PlainNumbersStayTheChecksOwnLimits)
{
    std::string why;
    for (std::string plain : {"10", "0", "-2", "+90"}) {
        std::optional<limit_value> v = parse_limit_value(plain, why);
        ASSERT_TRUE(v && v->plain) << plain << ": " << why;
        EXPECT_EQ(*v->plain, std::stol(plain));
    }
    std::optional<limit_value> range = parse_limit_value("@0:5", why);
    ASSERT_TRUE(range && !range->plain) << why;
    EXPECT_EQ(range->range, (threshold_range{0.0, 5.0, true}));
}

TEST(ThresholdRange, TextsThatAreNoRangeSayWhy)
{
    const std::vector<std::pair<std::string, std::string>> rows = {
        {"10:5", "its start is above its end"},
        {"abc", "whole number"},
        {"@", "nothing follows the '@'"},
        {"1:2:3", "more than one ':'"},
        {":10", "its start is empty"},
        {":", "its start is empty"},
        {"", "whole number"},
        {"10:~", "\"~\" is no number"},
        {"~", "whole number"},
        {"10.5", "whole number"},
        {"@abc", "\"abc\" is no number"},
        {"1e3:", "\"1e3\" is no number"},
        {"10,5:", "\"10,5\" is no number"},
        {"10.:", "\"10.\" is no number"},
        {"inf:", "\"inf\" is no number"},
        {"@@5", "\"@5\" is no number"},
        {"5: ", "\" \" is no number"},
        {"123456789012345678901:", "is no number"},
    };
    for (const auto& [text, reason] : rows) {
        std::string why;
        EXPECT_FALSE(parse_limit_value(text, why)) << text;
        EXPECT_NE(why.find(reason), std::string::npos) << text << ": " << why;
    }
}
