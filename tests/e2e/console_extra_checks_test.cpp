// dorv-console against an agent that offers checks the console was not built with: it
// lists, describes and runs them from the agent's answers alone, in every format, and
// run-all includes them where their description gives an obvious value.
#include <gtest/gtest.h>

#include "e2e/console_harness.h"

using namespace dorv_test;

namespace {

struct extra_agent : local_agent {
    extra_agent() { agent = DORV_EXTRA_AGENT; }
};

TEST(ConsoleExtraChecks, ListedDescribedAndRunInEveryFormat)
{
    extra_agent a;
    struct row {
        std::vector<std::string> format;
        std::string listed, described, ran;
    };
    const row rows[] = {
        {{"--format", "human"},
         "Fans       Fans of the host\n",
         "Fans takes 1 parameter:\n  1. Fan  one of 2 values:\n       fan1\n       fan2\n",
         "Fans       up       Fans fan1 is at 40%  (Fan=fan1)\n"},
        {{"--format", "json"},
         "{\"check\":\"Fans\",\"description\":\"Fans of the host\",\"available\":true}",
         "{\"command\":\"describe\",\"check\":\"Fans\",\"parameters\":[{\"name\":\"Fan\",\"type\":"
         "\"listcombo\","
         "\"values\":[\"fan1\",\"fan2\"]}]}\n",
         "{\"command\":\"run\",\"check\":\"Fans\",\"arguments\":{\"Fan\":\"fan1\"},\"status\":\"up\","
         "\"text\":\"Fans fan1 is at 40%\"}\n"},
        {{"--format", "plugin"},
         "Fans       Fans of the host\n",
         "       fan2\n",
         "\nFans OK - Fans fan1 is at 40%\n"},
        {{"--format", "passive", "--host", "db1"},
         "Fans       Fans of the host\n",
         "       fan2\n",
         "] PROCESS_SERVICE_CHECK_RESULT;db1;Fans fan1;0;Fans OK - Fans fan1 is at 40%\n"},
    };
    for (const auto& r : rows) {
        std::vector<std::string> args = r.format;
        args.insert(args.end(), {"list", "+", "describe", "Fans", "+", "run", "Fans", "fan1"});
        console_result c = a.run(args);
        EXPECT_EQ(c.status, 0) << r.format[1] << c.err;
        EXPECT_NE(c.out.find(r.listed), std::string::npos) << c.out;
        EXPECT_NE(c.out.find(r.described), std::string::npos) << c.out;
        EXPECT_NE(c.out.find(r.ran), std::string::npos) << c.out;
        // Its result carries no figure the console knows: no performance data.
        EXPECT_EQ(c.out.find('|'), std::string::npos) << c.out;
    }
}

TEST(ConsoleExtraChecks, RunAllTakesAListsFirstValueAndLeavesOutAnUnknownLimit)
{
    extra_agent a;
    console_result c = a.run({"--format", "json", "run-all"});
    EXPECT_NE(
        c.out.find(
            "{\"command\":\"run\",\"check\":\"Fans\",\"arguments\":{\"Fan\":\"fan1\"},\"status\":\"up\""),
        std::string::npos)
        << c.out;
    EXPECT_NE(
        c.out.find("{\"command\":\"run-all\",\"check\":\"Mood\",\"skipped\":\"no usual value for \\\"Mood "
                   "Limit\\\"\"}\n"),
        std::string::npos)
        << c.out;
    console_result h = a.run({"run-all"});
    EXPECT_NE(h.out.find("Fans       up       Fans fan1 is at 40%  (Fan=fan1)\n"), std::string::npos)
        << h.out;
    EXPECT_EQ(h.err, "dorv-console: run-all leaves out Mood: no usual value for \"Mood Limit\"\n");
}

} // namespace
