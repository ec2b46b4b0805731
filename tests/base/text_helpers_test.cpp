// Text helpers: line-end trimming and the leading integer.
#include "base/text_helpers.h"

#include <gtest/gtest.h>

#include <climits>
#include <string>

using namespace dorv;

namespace {

TEST(Chomp, RemovesLineFeedThenCarriageReturnThenLineFeedOnce)
{
    struct row {
        std::string line;
        std::string trimmed;
    };
    const row rows[] = {
        {"\n", ""},       {"", ""},           {"\r", ""},           {"\r\n", ""},   {"x\r\n", "x"},
        {"x\n\n", "x"},   {"x\r\r\n", "x\r"}, {"x\n\n\n", "x\n"},   {"x\n\r", "x"}, {"x\r\n\n", "x\r"},
        {"x\r\r", "x\r"}, {"x", "x"},         {"a b \t", "a b \t"}, {"\nx", "\nx"},
    };
    for (const auto& r : rows) {
        std::string line = r.line;
        EXPECT_EQ(&chomp(line), &line);
        EXPECT_EQ(line, r.trimmed) << "line of " << r.line.size() << " characters";
    }
}

TEST(LeadingInt, ReadsTheLimitAsAtoiDoes)
{
    struct {
        const char* text;
        int expected;
    } cases[] = {
        {"80", 80},
        {"80%", 80},
        {"abc", 0},
        {"", 0},
        {" \t42", 42},
        {"-5", -5},
        {"+7x", 7},
        {"- 5", 0},
        {"1 2", 1},
        {"99999999999", INT_MAX},
        {"-99999999999", INT_MIN},
        {"2147483647", INT_MAX},
        {"-2147483648", INT_MIN},
    };
    for (const auto& c : cases)
        EXPECT_EQ(leading_int(c.text), c.expected) << '"' << c.text << '"';
}

} // namespace
