// The exporter's modules file, its word splitting, and the time a probe has.
#include <gtest/gtest.h>

#include "exporter/exporter.h"
#include "exporter/modules.h"

using namespace dorv;

TEST(ExporterModules, ReadsModulesOfJoinedRuns)
{
    std::string error;
    auto modules =
        parse_modules("# web servers\n[module:web]\nrun = CPU -w 80 -c 90\n"
                      "  run=Processes \"nginx: master\"\n\n[module:db.1]\nrun = DiskSpace 10 /var\n",
                      error);
    ASSERT_EQ(error, "");
    ASSERT_EQ(modules.size(), 3u);
    EXPECT_EQ(modules[0].name, "run-all");
    EXPECT_EQ(modules[0].commands, (std::vector<std::vector<std::string>>{{"run-all"}}));
    EXPECT_EQ(modules[1].commands,
              (std::vector<std::vector<std::string>>{{"run", "CPU", "-w", "80", "-c", "90"},
                                                     {"run", "Processes", "nginx: master"}}));
    EXPECT_EQ(find_module(modules, "db.1")->commands[0][3], "/var");
    EXPECT_EQ(find_module(modules, "nope"), nullptr);
}

TEST(ExporterModules, RefusesWhatIsNoModule)
{
    const std::pair<const char*, const char*> cases[] = {
        {"run = CPU\n", "line 1: a run belongs to a [module:NAME] section"},
        {"[module:a b]\nrun = CPU\n",
         "line 1: a module's name is letters, digits, '_', '-' and '.', not \"a b\""},
        {"[module:web]\n[module:db]\nrun = CPU\n", "line 2: the module web has no run"},
        {"[module:web]\n", "the module web has no run"},
        {"[module:run-all]\nrun = CPU\n", "line 1: the module run-all is defined twice"},
        {"[module:web]\ncheck = CPU\n",
         "line 2: a module holds \"run = CHECK [VALUE ...]\" lines, not check = CPU"},
        {"[module:web]\nrun = Processes \"nginx\n",
         "line 2: a run needs a check name (and a closed quote): run = "
         "Processes \"nginx"},
        {"[web]\n", "line 1: a section is [module:NAME], not [web]"},
    };
    for (const auto& [text, why] : cases) {
        std::string error;
        EXPECT_TRUE(parse_modules(text, error).empty()) << text;
        EXPECT_EQ(error, why);
    }
}

TEST(ExporterModules, AProbeHasTheScrapeTimeoutLessHalfASecondAtMostTheCap)
{
    const std::pair<std::optional<std::string>, double> cases[] = {
        {std::nullopt, 30}, {"10", 9.5}, {"100", 30}, {"0.6", 0.3}, {"abc", 30}, {"-1", 30}, {"", 30},
    };
    for (const auto& [header, seconds] : cases)
        EXPECT_DOUBLE_EQ(exporter::probe_seconds(header, 30), seconds) << header.value_or("none");
}
