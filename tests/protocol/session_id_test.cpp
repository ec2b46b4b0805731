// Session identifier.
#include "protocol/session_id.h"

#include <gtest/gtest.h>

#include <cstdlib>
#include <ctime>

#include "support/id_layout.h"

using namespace dorv;
using dorv_test::has_id_layout;

TEST(SessionId, LayoutIsEightFourFourFourTwelveUpperHex)
{
    std::string id = generate_session_id();
    EXPECT_TRUE(has_id_layout(id)) << id;
    EXPECT_EQ(g_session_id, id);
    EXPECT_FALSE(has_id_layout("0123456789ABCDEF0123456789ABCDEF0123"));
    EXPECT_FALSE(has_id_layout("0123abcd-0123-0123-0123-0123456789AB"));
}

TEST(SessionId, DependsOnlyOnTheStartSecond)
{
    // Retried when the clock ticks over between the two calls.
    for (int attempt = 0; attempt < 5; ++attempt) {
        std::time_t before = std::time(nullptr);
        std::string first = generate_session_id();
        ::random(); // draws in between must not matter: the generator is seeded again
        std::string second = generate_session_id();
        std::time_t after = std::time(nullptr);
        if (before != after)
            continue;
        EXPECT_EQ(first, second);

        // The digits are the remainders by 16 of random() seeded with that second.
        ::srandom(static_cast<unsigned>(before));
        std::string expected;
        for (int i = 0; i < 32; ++i) {
            if (i == 8 || i == 12 || i == 16 || i == 20)
                expected += '-';
            expected += "0123456789ABCDEF"[::random() % 16];
        }
        EXPECT_EQ(first, expected);
        return;
    }
    FAIL() << "the clock never stood still for two calls";
}

TEST(RandomHex, WritesFourDigitsAndReturnsThePositionAfterThem)
{
    char buf[6] = "zzzzz";
    char* end = random_hex(buf);
    EXPECT_EQ(end, buf + 4);
    EXPECT_EQ(buf[4], 'z');
    for (int i = 0; i < 4; ++i)
        EXPECT_NE(std::string_view("0123456789ABCDEF").find(buf[i]), std::string_view::npos);
}
