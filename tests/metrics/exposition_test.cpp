// The text exposition format: escaping, sample values, families kept together, and the
// expositions of several hosts merged into one.
#include <gtest/gtest.h>

#include <cmath>

#include "metrics/dorv_families.h"
#include "metrics/exposition.h"

using namespace dorv;

TEST(Exposition, EscapesLabelValuesAndHelpAsTheFormatRequires)
{
    const struct {
        const char* raw;
        const char* label;
        const char* help;
    } cases[] = {
        {"plain /var", "plain /var", "plain /var"},        {"say \"hi\"", "say \\\"hi\\\"", "say \"hi\""},
        {"C:\\temp", "C:\\\\temp", "C:\\\\temp"},          {"two\nlines", "two\\nlines", "two\\nlines"},
        {"\\n literal", "\\\\n literal", "\\\\n literal"}, {"grün", "grün", "grün"},
    };
    for (const auto& c : cases) {
        EXPECT_EQ(escape_label_value(c.raw), c.label) << c.raw;
        EXPECT_EQ(escape_help(c.raw), c.help) << c.raw;
    }
}

TEST(Exposition, WritesTheShortestValueThatReadsBack)
{
    const std::pair<double, const char*> cases[] = {
        {0.15, "0.15"},         {1, "1"},     {0, "0"},           {-2.5, "-2.5"},      {1e-6, "1e-06"},
        {12582912, "12582912"}, {NAN, "NaN"}, {INFINITY, "+Inf"}, {-INFINITY, "-Inf"},
    };
    for (const auto& [v, text] : cases)
        EXPECT_EQ(sample_value(v), text);
}

TEST(Exposition, KeepsEachFamilyTogetherAndEachSeriesOnce)
{
    exposition e;
    e.add(families::check_state, {{"check", "DiskSpace"}, {"item", "/a \"b\""}}, 0);
    e.add(families::up, {}, 1);
    e.add(families::check_state, {{"check", "CPU"}, {"item", ""}}, 2);
    e.add(families::check_state, {{"check", "CPU"}, {"item", ""}}, 3); // the same series again
    e.comment("HELP is not a help line here\nsecond");
    EXPECT_EQ(e.text(), "# - HELP is not a help line here\n"
                        "# second\n"
                        "# HELP dorv_check_state " +
                            std::string(families::check_state.help) +
                            "\n# TYPE dorv_check_state gauge\n"
                            "dorv_check_state{check=\"DiskSpace\",item=\"/a \\\"b\\\"\"} 0\n"
                            "dorv_check_state{check=\"CPU\",item=\"\"} 2\n"
                            "# HELP dorv_up " +
                            families::up.help + "\n# TYPE dorv_up gauge\ndorv_up 1\n");
}

TEST(Exposition, MergesHostsIntoOneExpositionWithEachFamilyOnce)
{
    std::string web = families::unanswered({{"host", "web"}}, 0.5, "web: no answer");
    exposition db;
    db.add(families::up, {{"host", "db"}}, 1);
    db.add(families::memory_free, {{"host", "db"}}, 0.25);
    std::string merged = merge_expositions({web, db.text()});
    EXPECT_EQ(merged, "# web: no answer\n# HELP dorv_up " + std::string(families::up.help) +
                          "\n# TYPE dorv_up gauge\ndorv_up{host=\"web\"} 0\ndorv_up{host=\"db\"} 1\n"
                          "# HELP dorv_probe_duration_seconds How long the run took, in seconds\n"
                          "# TYPE dorv_probe_duration_seconds gauge\n"
                          "dorv_probe_duration_seconds{host=\"web\"} 0.5\n"
                          "# HELP dorv_memory_free_ratio The free share of the RAM\n"
                          "# TYPE dorv_memory_free_ratio gauge\ndorv_memory_free_ratio{host=\"db\"} 0.25\n");
}
