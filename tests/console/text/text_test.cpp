// Agent text made safe for a terminal, a scheduler and JSON; the parameter cache's lines.
#include "console/results/run_result.h"
#include "console/session/param_cache.h"
#include "console/text/text.h"

#include <gtest/gtest.h>

using namespace dorv;

TEST(AgentText, HostileBytesAreEscapedOrReplaced)
{
    struct row {
        std::string in, human, plugin;
    };
    const std::vector<row> rows = {
        {"Disk / is 5% used", "Disk / is 5% used", "Disk / is 5% used"},
        {"a|b\nc\r\td", "a|b\\nc\\r\\td", "a/b c  d"},
        {"\x1b[2J\x7f", "\\x1b[2J\\x7f", " [2J "},
        {"C1 \xc2\x9b end", "C1 \\u009b end", "C1   end"},
        {"bad \xff\xc0\xaf \xed\xa0\x80 \xe2\x82", "bad \\xff\\xc0\\xaf \\xed\\xa0\\x80 \\xe2\\x82",
         "bad ??? ??? ??"},
        {"ok \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80", "ok \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80",
         "ok \xc3\xa9 \xe2\x82\xac \xf0\x9f\x98\x80"},
        {"back\\slash", "back\\\\slash", "back\\slash"},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(human_text(r.in), r.human) << r.in;
        EXPECT_EQ(plugin_text(r.in), r.plugin) << r.in;
    }
    EXPECT_EQ(json_escape("x\xff\xc3\xa9\x1b\n"), "x\xef\xbf\xbd\xc3\xa9\\u001b\\n");
}

TEST(ParamCache, LinesKeepNamesTypesAndLengths)
{
    const std::vector<param_info> disk = {{"Disk Free Limit [%]", "longinteger", "100", {"ignored"}, {}},
                                          {"Disks", "listcombo", "", {"/", "/usr"}, {}}};
    auto line = cache_line("ssh -- db1 dorv", "DiskSpace", disk);
    ASSERT_TRUE(line);
    std::optional<cache_entry> read = parse_cache_line(*line);
    ASSERT_TRUE(read);
    EXPECT_EQ(read->key, "ssh -- db1 dorv");
    EXPECT_EQ(read->check, "DiskSpace");
    const std::vector<param_info>& back = read->params;
    ASSERT_EQ(back.size(), 2u);
    EXPECT_EQ(back[0].name, "Disk Free Limit [%]");
    EXPECT_EQ(back[0].maxlength, "100");
    EXPECT_EQ(back[1].type, "listcombo");
    EXPECT_TRUE(back[1].values.empty());
    EXPECT_FALSE(cache_line("k", "CPU", {{"Load\tLimit", "longinteger", "200", {}, {}}}));
    EXPECT_FALSE(parse_cache_line("k\tCPU\tonly-a-name"));
}
