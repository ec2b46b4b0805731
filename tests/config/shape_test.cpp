// The hygiene of a configuration file's lines, as both readers of the file judge it.
#include "config/shape.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

// Every problem the shape finds in text, one "LINE: problem" line each.
std::string shape_problems(const std::string& text)
{
    config_shape shape;
    std::string out;
    auto note = [&](int line, const std::optional<std::string>& problem) {
        if (problem)
            out += std::to_string(line) + ": " + *problem + "\n";
    };
    scan_config(text, [&](const config_line& l) {
        note(l.number, shape.long_line(l));
        if (l.kind == config_line::entry) {
            config_entry e = shape.entry(l);
            note(l.number, e.problem);
            if (!e.problem)
                note(l.number, shape.repeated(l, e.key));
        }
        return true;
    });
    return out;
}

} // namespace

TEST(ConfigShape, JudgesEachLineOnce)
{
    struct row {
        std::string text, problems;
    } rows[] = {
        {"[a]\nk=1\n[b]\nk=2\n", ""},
        {"k=1\n", "1: entry before any section header is not used\n"},
        {"[a]\nk=1\nk=2\n[b]\n[a]\nk=3\n", "3: repeated key \"k\": the one on line 2 is used\n6: repeated "
                                           "key \"k\": the one on line 2 is used\n"},
        {"[a]\n k=1\nk =1\nword\n[a\n",
         "2: blank before the key: the line matches no key\n3: blanks around '=': the line matches no key\n"
         "4: neither comment, section header nor key=value entry\n"
         "5: not a section header: nothing may follow ']' and '[' needs a ']'\n"},
        {"[a]\nk=" + std::string(16381, 'x') + "j=2\n",
         "2: line longer than 16383 characters: the rest is read as further lines\n"},
    };
    for (const auto& r : rows)
        EXPECT_EQ(shape_problems(r.text), r.problems) << r.text;
}

TEST(ConfigShape, TellsUnusedSectionsAndCheckSections)
{
    EXPECT_EQ(unused_section_problem("x", false), "section [x] is not used by the agent");
    EXPECT_EQ(unused_section_problem("agent", true),
              "section [agent] in a drop-in file is ignored: only [check:...] sections count there");
    EXPECT_TRUE(is_check_section("check:A"));
    EXPECT_FALSE(is_check_section("checks"));
}
