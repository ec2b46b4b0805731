// Splitting a configured check's command line: blanks, single quotes, placeholders.
#include "checks/command_line.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

const std::vector<std::string> params = {"Site", "Days warning", "Days critical"};

std::vector<std::string> split(const std::string& text)
{
    split_command s = split_command_line(text, params);
    EXPECT_FALSE(s.error) << text;
    return expand_command(s.words, {"www.example.org", "30", "10"});
}

} // namespace

TEST(CommandLine, SplitsAtBlanksGroupsQuotesAndFillsPlaceholdersWithinTheirWord)
{
    struct row {
        std::string text;
        std::vector<std::string> argv;
    };
    const row rows[] = {
        {"/p -H {Site} -S", {"/p", "-H", "www.example.org", "-S"}},
        {"/p -C {Days warning},{Days critical}", {"/p", "-C", "30,10"}},
        {"  /p\t\t-x   y  ", {"/p", "-x", "y"}},
        {"/p 'two words' a'b c'd", {"/p", "two words", "ab cd"}},
        {"/p '' x", {"/p", "", "x"}},
        {"/p --url=https://{Site}/x?a=1&b=2", {"/p", "--url=https://www.example.org/x?a=1&b=2"}},
        {"/p $(id) `id` ; | && \"q\" \\", {"/p", "$(id)", "`id`", ";", "|", "&&", "\"q\"", "\\"}},
        {"/p '{Site}' {} {Other} {Site", {"/p", "www.example.org", "{}", "{Other}", "{Site"}},
    };
    for (const auto& r : rows)
        EXPECT_EQ(split(r.text), r.argv) << r.text;
}

TEST(CommandLine, ValuesNeverSplitAWordAndAreNotReadAgain)
{
    split_command s = split_command_line("/p -H {Site}", params);
    std::vector<std::string> argv = expand_command(s.words, {"a b;$(id)\n{Site}", "", ""});
    EXPECT_EQ(argv, (std::vector<std::string>{"/p", "-H", "a b;$(id)\n{Site}"}));
}

TEST(CommandLine, OpenQuoteIsAnErrorAndUnknownPlaceholdersAreFound)
{
    EXPECT_TRUE(split_command_line("/p 'open", params).error);
    EXPECT_EQ(unknown_placeholders("/p {Site} {Sit} {} {a{b} {Days warning} {x y}", params),
              (std::vector<std::string>{"Sit", "b", "x y"}));
}
