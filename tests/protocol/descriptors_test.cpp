// Parameter descriptors: number fields and list combos, the bound that keeps a list combo
// within a packed size, and the reading back of what was built.
#include "protocol/descriptors.h"

#include <gtest/gtest.h>

#include "protocol/packet.h"

using namespace dorv;

namespace {

using values_t = std::vector<std::string>;

TEST(ParamNumber, ThreeNumberedPairs)
{
    param_array p;
    param_number(p, "Disk Free Limit [%]", 1, "100");
    EXPECT_EQ(dorv_pack(p), "#paramname1=Disk Free Limit [%]#paramtype1=longinteger#maxlength1=100#");
}

TEST(ParamCombo, Layouts)
{
    struct {
        int number;
        values_t values;
        const char* packed;
    } cases[] = {
        {1,
         {},
         "#paramname1=Select Process#paramtype1=listcombo#valuecount=0#atbutton_paramcount=1#"
         "atbutton_param1=Select Process#"},
        // Only paramname and paramtype carry the parameter's number.
        {2,
         {"/"},
         "#paramname2=Select Process#paramtype2=listcombo#valuecount=1#value1=/#atbutton_paramcount=1#"
         "atbutton_param1=Select Process#"},
        // Repeats all listed; no escaping of '#' or '='.
        {1,
         {"cron", "cron", "a=b", "x#y"},
         "#paramname1=Select Process#paramtype1=listcombo#valuecount=4#value1=cron#value2=cron#value3=a=b#"
         "value4=x#y#atbutton_paramcount=1#atbutton_param1=Select Process#"},
    };
    for (const auto& c : cases) {
        param_array p;
        EXPECT_EQ(param_combo(p, "Select Process", c.number, c.values), static_cast<int>(c.values.size()));
        EXPECT_EQ(dorv_pack(p), c.packed);
    }
}

TEST(ParamCombo, ReturnsTheValueCountNotThePosition)
{
    param_array p;
    param_number(p, "Disk Free Limit [%]", 1, "100");
    EXPECT_EQ(param_combo(p, "Disks", 2, {"/", "/usr"}), 2);
    EXPECT_EQ(p.size(), 20);
}

// The "value" keys of a list after a number field: pairs 6 on.
int listed_values(const param_array& p)
{
    int n = 0;
    while (6 + n < p.pairs() && p.key(6 + n) == "value" + std::to_string(n + 1))
        ++n;
    return n;
}

TEST(ParamCombo, UnderABoundListsAPrefixThatFitsAndNoMore)
{
    // Values of mixed lengths, enough that "valuecount" and the value keys pass one, two and
    // three digits.
    values_t values;
    for (int i = 0; i < 150; ++i)
        values.push_back(std::string(static_cast<std::size_t>(i % 7), 'a' + static_cast<char>(i % 26)));

    param_array empty;
    param_number(empty, "Disk Free Limit [%]", 1, "100");
    param_combo(empty, "Disks", 2, {});
    for (std::size_t bound = dorv_pack(empty).size(); bound < 2800; ++bound) {
        param_array p;
        param_number(p, "Disk Free Limit [%]", 1, "100");
        int n = param_combo(p, "Disks", 2, values, bound);
        std::string packed = dorv_pack(p);
        ASSERT_LE(packed.size(), bound) << "bound " << bound;
        ASSERT_EQ(listed_values(p), n) << "bound " << bound;
        ASSERT_EQ(p.key(5), "valuecount");
        ASSERT_EQ(p.value(5), std::to_string(n)) << "bound " << bound;
        for (int k = 0; k < n; ++k)
            ASSERT_EQ(p.value(6 + k), values[static_cast<std::size_t>(k)]) << "bound " << bound;
        ASSERT_EQ(p.key(6 + n), "atbutton_paramcount");
        if (static_cast<std::size_t>(n) < values.size()) {
            // One more value would not have fitted.
            param_array more;
            param_number(more, "Disk Free Limit [%]", 1, "100");
            values_t first(values.begin(), values.begin() + n + 1);
            param_combo(more, "Disks", 2, first);
            ASSERT_GT(dorv_pack(more).size(), bound) << "bound " << bound;
        }
    }
}

TEST(ParamCombo, WithoutABoundListsEverything)
{
    values_t values(3000, std::string(40, 'x'));
    param_array p;
    EXPECT_EQ(param_combo(p, "Select Process", 1, values), 3000);
}

TEST(ParseDescriptors, ReadsBackWhatTheBuildersWrite)
{
    struct {
        values_t values;
        std::size_t budget;
    } cases[] = {{{"/", "/usr", "a=b"}, unbounded}, {{}, unbounded}, {{"/", "/usr", "/var"}, 150}};
    for (const auto& c : cases) {
        param_array p;
        param_number(p, "Disk Free Limit [%]", 1, "100");
        int n = param_combo(p, "Disks", 2, c.values, c.budget);
        param_number(p, "Later Limit", 3, "7", "30");
        std::vector<param_info> back = parse_descriptors(dorv_pack(p));
        ASSERT_EQ(back.size(), 3u);
        EXPECT_EQ(back[0].name, "Disk Free Limit [%]");
        EXPECT_TRUE(back[0].is_number());
        EXPECT_EQ(back[0].maxlength, "100");
        EXPECT_TRUE(back[1].is_list());
        EXPECT_EQ(back[1].name, "Disks");
        EXPECT_EQ(back[1].values, values_t(c.values.begin(), c.values.begin() + n));
        EXPECT_EQ(back[2].name, "Later Limit");
        EXPECT_EQ(back[2].maxlength, "7");
        EXPECT_EQ(back[2].usual, "30");
        EXPECT_EQ(back[0].usual, "");
    }
    EXPECT_TRUE(parse_descriptors("paramname1=x#").empty());
    EXPECT_TRUE(parse_descriptors("").empty());
}

TEST(KeyNumber, NumberAfterTheWord)
{
    EXPECT_EQ(key_number("paramname12", "paramname"), 12);
    EXPECT_EQ(key_number("paramname", "paramname"), 0);
    EXPECT_EQ(key_number("paramnamex", "paramname"), 0);
    EXPECT_EQ(key_number("paramname123456", "paramname"), 0);
    EXPECT_EQ(key_number("value1", "paramname"), 0);
}

} // namespace
