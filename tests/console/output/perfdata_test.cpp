// A plugin's performance data read item by item, and written out again as it came.
#include "console/output/perfdata.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

// label|value|unit|warn|crit|min|max of each item; "?" then the item for one kept unread.
std::string fields(const std::vector<perf_value>& items)
{
    std::string out;
    for (const auto& p : items)
        out += p.label.empty() ? "?" + p.written + " "
                               : p.label + "|" + p.value + "|" + p.unit + "|" + p.warn + "|" + p.crit + "|" +
                                     p.min + "|" + p.max + " ";
    return out;
}

} // namespace

TEST(ParsePerfdata, ItemsOfTheGuidelinesAndWhatItKeepsUnread)
{
    const std::pair<const char*, const char*> rows[] = {
        {"users=3;1000;2000;0", "users|3||1000|2000|0| "},
        {"load1=0.120;15.000;30.000;0; load5=0.2", "load1|0.120||15.000|30.000|0| load5|0.2||||| "},
        {"'/var/lib x'=18%;80;90;0;100", "/var/lib x|18|%|80|90|0|100 "},
        {"'it''s'=1KB 'a=b'=-2.5s;@1:2;~:3", "it's|1|KB|||| a=b|-2.5|s|@1:2|~:3|| "},
        {"  time=U;;;  c=12c  ", "time|U||||| c|12|c|||| "},
        {"=1 x=abc y=1;2;3;4;5;6 'open=1 z=2", "?=1 ?x=abc ?y=1;2;3;4;5;6 ?'open=1 z=2 "},
        {"noequals 'q'x=1 v=5", "?noequals ?'q'x=1 v|5||||| "},
        {"", ""},
    };
    for (const auto& [text, want] : rows)
        EXPECT_EQ(fields(parse_perfdata(text)), want) << text;
}

TEST(ParsePerfdata, ItemsAreWrittenBackAsTheyCameUnlessALabelRepeats)
{
    run_outcome r;
    r.perf = parse_perfdata("users=3;1000;2000;0 'a b'=1ms;;2 bad users=4");
    perf_labels labels;
    EXPECT_EQ(perfdata(r, labels), "users=3;1000;2000;0 'a b'=1ms;;2 bad 'users_2'=4");
    EXPECT_EQ(perfdata(r, labels), "'users_3'=3;1000;2000;0 'a b_2'=1ms;;2 bad 'users_4'=4");
}
