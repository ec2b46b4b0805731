// A list combo whose values hold double quotes must still travel as one quoted value.
#include "checks/descriptors.h"
#include "protocol/packet.h"

#include <gtest/gtest.h>

using namespace dorv;

TEST(ParamCombo, ValueWithDoubleQuoteIsLeftOutAndListStaysDecodable)
{
    param_array list;
    int n = param_combo(list, "Select Process", 1, {"sshd", "sh -c \"sleep 1\"", "cron"});
    EXPECT_EQ(n, 2);
    std::string quoted = "#checkid=Processes#parameters=\"" + dorv_pack(list) + "\"#";
    EXPECT_EQ(quoted.find("sleep"), std::string::npos);

    param_array outer;
    ASSERT_EQ(dorv_unpack(quoted, outer), 4);
    param_array inner;
    ASSERT_NE(dorv_unpack(outer.value(1), inner), 0);
    EXPECT_EQ(inner.key(2), "valuecount");
    EXPECT_EQ(inner.value(2), "2");
    EXPECT_EQ(inner.value(3), "sshd");
    EXPECT_EQ(inner.value(4), "cron");
}
