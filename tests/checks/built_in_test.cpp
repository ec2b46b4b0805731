// The built-in check table against the catalog it takes its rows from.
#include "checks/built_in.h"

#include <gtest/gtest.h>

#include "checks/catalog.h"

using namespace dorv;

TEST(CheckTable, TheBuiltInChecksAreTheCatalogsInItsOrder)
{
    int n = 0;
    for (; check_catalog[n].name; ++n) {
        ASSERT_NE(checks[n].name, nullptr);
        EXPECT_STREQ(checks[n].name, check_catalog[n].name);
        EXPECT_STREQ(checks[n].desc, check_catalog[n].desc);
        EXPECT_EQ(find_profile(checks[n].name), &check_catalog[n]);
    }
    EXPECT_EQ(checks[n].name, nullptr);
    EXPECT_EQ(find_profile("cpu"), nullptr);
}
