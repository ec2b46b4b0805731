// Reply size budget: pair lengths and the room of a reply's last value.
#include "protocol/reply_budget.h"

#include <gtest/gtest.h>

#include "protocol/limits.h"
#include "protocol/packet.h"
#include "protocol/session_id.h"

using namespace dorv;

TEST(ReplyBudget, PairLengthIsWhatThePairAddsToThePacket)
{
    for (int number : {0, 1, 9, 10, 99, 100, 12345, -7}) {
        param_array p;
        array_add(p, "k", 0, "x");
        std::size_t before = dorv_pack(p).size();
        array_add(p, "value", number, "a b");
        EXPECT_EQ(packed_pair_length("value", number, "a b"), dorv_pack(p).size() - before) << number;
    }
}

TEST(ReplyBudget, LastValueIsCutWhereThePacketIsFull)
{
    std::string saved = g_session_id;
    g_session_id = "0123ABCD-4567-89EF-0123-456789ABCDEF";
    param_array reply;
    array_add(reply, "checkid", 0, "CPU");
    add_last_value("runcheck", reply, "resultstring", std::string(max_text, 'x'));
    EXPECT_EQ(reply_length("runcheck", reply), max_text);
    EXPECT_TRUE(fits_packet(reply_length("runcheck", reply)));
    EXPECT_FALSE(fits_packet(max_text + 1));

    param_array short_reply;
    add_last_value("runcheck", short_reply, "resultstring", "ok");
    EXPECT_EQ(short_reply.value(0), "ok");
    EXPECT_EQ(room_inside_quotes(1), 0u);
    EXPECT_EQ(room_inside_quotes(10), 8u);
    g_session_id = saved;
}
