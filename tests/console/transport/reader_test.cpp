// The console's packet reader: packets with no framing, split anywhere, several at once.
#include "console/transport/reader.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

const std::string login = "#keycount=2#responseaction=login#sessionid=0123ABCD-0000-0000-0000-000000000000#";
const std::string described = "#keycount=4#responseaction=definecheck#sessionid=S#checkid=CPU#parameters=\""
                              "#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#\"#";
const std::string ran = "#keycount=5#responseaction=runcheck#sessionid=S#checkid=CPU#result=up#"
                        "resultstring=CPU load is 15#";

} // namespace

// Every split point of each packet: nothing comes out before the last byte, the whole
// packet comes out with it. Splits right after an inner '#' decode on their own, which is
// why the keycount decides.
TEST(PacketReader, PacketSplitAnywhereComesOutOnceWhole)
{
    for (const std::string& packet : {login, described, ran}) {
        for (std::size_t cut = 1; cut < packet.size(); ++cut) {
            packet_reader r;
            param_array pairs;
            std::string text;
            std::string error;
            r.feed(packet.substr(0, cut));
            ASSERT_EQ(r.take(pairs, text, error), take_result::need_more) << packet.substr(0, cut);
            r.feed(packet.substr(cut));
            ASSERT_EQ(r.take(pairs, text, error), take_result::packet) << cut;
            EXPECT_EQ(text, packet);
            EXPECT_TRUE(r.pending().empty());
        }
    }
}

TEST(PacketReader, NestedParametersStayOneValue)
{
    packet_reader r;
    param_array pairs;
    std::string text;
    std::string error;
    r.feed(described);
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    ASSERT_EQ(pairs.pairs(), 5);
    EXPECT_EQ(pairs.key(4), "parameters");
    EXPECT_EQ(pairs.value(4), "#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#");
}

TEST(PacketReader, SeveralRepliesInOneReadComeOutInOrder)
{
    packet_reader r;
    param_array pairs;
    std::string text;
    std::string error;
    // The third packet is still arriving.
    r.feed(login + described + ran.substr(0, 20));
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    EXPECT_EQ(text, login);
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    EXPECT_EQ(text, described);
    EXPECT_EQ(r.take(pairs, text, error), take_result::need_more);
    r.feed(ran.substr(20) + login);
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    EXPECT_EQ(text, ran);
    EXPECT_EQ(pairs.value(4), "up");
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    EXPECT_EQ(text, login);
}

TEST(PacketReader, BytesThatCannotBeAPacketAreBad)
{
    struct row {
        std::string bytes;
        std::string says;
    };
    const row rows[] = {
        {"\n" + login, "not a packet"},
        {"bash: dorv: command not found\n", "not a packet"},
        {"#responseaction=login#sessionid=S#", "keycount"},
        {"#keycount=1#responseaction=login#sessionid=S#", "more pairs than its keycount"},
        {"#keycount=2#" + std::string(20000, 'x'), "without completing a packet"},
    };
    for (const auto& [bytes, says] : rows) {
        packet_reader r;
        param_array pairs;
        std::string text;
        std::string error;
        r.feed(bytes);
        ASSERT_EQ(r.take(pairs, text, error), take_result::bad) << bytes.substr(0, 40);
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}

// Without a count to go by only what has arrived in whole can be the packet.
TEST(PacketReader, KeycountThatIsNoNumberTakesEverythingThatDecodes)
{
    packet_reader r;
    param_array pairs;
    std::string text;
    std::string error;
    r.feed("#keycount=x#a=1#b=2");
    EXPECT_EQ(r.take(pairs, text, error), take_result::need_more);
    r.feed("#");
    ASSERT_EQ(r.take(pairs, text, error), take_result::packet);
    EXPECT_EQ(pairs.pairs(), 3);
}
