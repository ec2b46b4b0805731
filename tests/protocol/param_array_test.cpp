// Parameter array operations.
#include "protocol/param_array.h"

#include <gtest/gtest.h>

#include "support/capture.h"

using namespace dorv;
using dorv_test::exit_status_of;

TEST(ArrayAdd, NumberIsAppendedToTheKeyUnlessZero)
{
    struct row {
        const char* key;
        int number;
        const char* stored;
    };
    const row rows[] = {
        {"paramname", 1, "paramname1"},
        {"paramname", 0, "paramname"},
        {"maxlength", 12, "maxlength12"},
        {"checkid", 8191, "checkid8191"},
    };
    for (const auto& r : rows) {
        param_array a;
        EXPECT_EQ(array_add(a, r.key, r.number, "v"), 2);
        EXPECT_EQ(a.texts, (std::vector<std::string>{r.stored, "v"}));
    }
}

TEST(ArrayAdd, ReturnsTheNextPositionAfterEachPair)
{
    param_array a;
    EXPECT_EQ(array_add(a, "a", 0, "1"), 2);
    EXPECT_EQ(array_add(a, "b", 0, ""), 4);
    EXPECT_EQ(array_add(a, "c", 3, "x"), 6);
    EXPECT_EQ(a.texts, (std::vector<std::string>{"a", "1", "b", "", "c3", "x"}));
}

TEST(ArrayAdd, TakesPairsOnlyWhilePositionPlusTwoStaysBelowCapacity)
{
    struct row {
        int capacity;
        int accepted;
    };
    const row rows[] = {{1, 0}, {2, 0}, {3, 1}, {4, 1}, {5, 2}, {6, 2}, {max_entries, 8191}};
    for (const auto& r : rows) {
        param_array a(r.capacity);
        for (int i = 0; i < r.accepted; ++i)
            ASSERT_EQ(exit_status_of([&] { array_add(a, "k", i + 1, "v"); }), -1)
                << r.capacity << " pair " << i;
        EXPECT_EQ(exit_status_of([&] { array_add(a, "k", 0, "v"); }), exit_array_full) << r.capacity;
        // The refused pair leaves the array as it was.
        EXPECT_EQ(a.pairs(), r.accepted);
    }
}

TEST(ArrayFree, EmptiesTheArraySoItRefillsFromPositionZero)
{
    param_array a;
    array_add(a, "a", 0, "1");
    array_add(a, "b", 0, "2");
    array_free(a);
    EXPECT_TRUE(a.empty());
    EXPECT_EQ(array_add(a, "c", 0, "3"), 2);
    EXPECT_EQ(a.texts, (std::vector<std::string>{"c", "3"}));
}
