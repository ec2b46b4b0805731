// The multiplexing messages: what is sent byte for byte, and the master's replies read
// back whole, in pieces and when broken.
#include <gtest/gtest.h>

#include "mux/mux_message.h"

using namespace dorv;

namespace {

std::string u32(std::uint32_t v)
{
    return {static_cast<char>(v >> 24), static_cast<char>(v >> 16), static_cast<char>(v >> 8),
            static_cast<char>(v)};
}

} // namespace

TEST(MuxMessage, HelloAndNewSessionAsTheMasterReadsThem)
{
    EXPECT_EQ(mux_hello_packet(), u32(8) + u32(1) + u32(4));
    const std::string payload = u32(0x10000002) + u32(7) + u32(0) + u32(0) + u32(0) + u32(0) + u32(0) +
                                u32(0xffffffff) + u32(0) + u32(4) + "dorv";
    EXPECT_EQ(mux_new_session_packet(7, "dorv"), u32(static_cast<std::uint32_t>(payload.size())) + payload);
}

TEST(MuxMessage, RepliesAreTakenWholeAndOneByOne)
{
    const std::string opened = u32(12) + u32(0x80000006) + u32(1) + u32(3);
    const std::string refused =
        u32(12 + 28) + u32(0x80000003) + u32(1) + u32(28) + "Session open refused by peer";
    const std::string exited = u32(12) + u32(0x80000004) + u32(3) + u32(2);
    std::string buffer = opened + refused + exited.substr(0, 9);
    bool bad = true;
    auto r = take_mux_reply(buffer, bad);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, mux_session_opened);
    EXPECT_EQ(r->second, 3u);
    r = take_mux_reply(buffer, bad);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, mux_failure);
    EXPECT_EQ(r->reason, "Session open refused by peer");
    EXPECT_FALSE(take_mux_reply(buffer, bad)); // an exit message not yet whole
    EXPECT_FALSE(bad);
    buffer += exited.substr(9);
    r = take_mux_reply(buffer, bad);
    ASSERT_TRUE(r);
    EXPECT_EQ(r->type, mux_exit_message);
    EXPECT_EQ(r->second, 2u);
    EXPECT_TRUE(buffer.empty());

    buffer = u32(1u << 30) + "x";
    EXPECT_FALSE(take_mux_reply(buffer, bad));
    EXPECT_TRUE(bad);
}
