// Packet encoding and decoding.
#include "protocol/packet.h"

#include <gtest/gtest.h>

using namespace dorv;

TEST(Pack, EmptyArrayIsOneHash)
{
    EXPECT_EQ(dorv_pack(param_array{}), "#");
}
