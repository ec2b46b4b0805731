// The incremental request decoder gives, after every piece, what decoding the whole text
// from its start gives.
#include <gtest/gtest.h>

#include <random>

#include "base/exit_causes.h"
#include "protocol/packet.h"

using namespace dorv;

namespace {

struct outcome {
    int count = 0;
    int status = -1; // exit status when decoding ended the agent
    std::vector<std::string> pairs;
    bool operator==(const outcome&) const = default;
};

outcome full_decode(const std::string& text)
{
    outcome o;
    param_array p;
    try {
        o.count = dorv_unpack(text, p);
        if (o.count)
            o.pairs = p.texts;
    } catch (const exit_request& e) {
        o.status = e.status;
    }
    return o;
}

} // namespace

TEST(PacketDecoder, MatchesFullDecodeAfterEveryPiece)
{
    std::mt19937 rng(12345);
    const std::string alphabet = "##==\"\"ab\0";
    for (int round = 0; round < 4000; ++round) {
        std::string text = "#";
        int len = static_cast<int>(rng() % 24);
        for (int i = 0; i < len; ++i)
            text += alphabet[rng() % alphabet.size()];
        packet_decoder dec;
        std::string so_far;
        std::size_t at = 0;
        while (at < text.size()) {
            std::size_t piece = 1 + rng() % 4;
            std::string bytes = text.substr(at, piece);
            at += bytes.size();
            // The reader's text is a C text: a zero byte ends what a read adds.
            so_far += bytes.substr(0, bytes.find('\0'));
            outcome inc;
            try {
                inc.count = dec.feed(bytes);
                if (inc.count)
                    inc.pairs = dec.pairs().texts;
            } catch (const exit_request& e) {
                inc.status = e.status;
            }
            ASSERT_EQ(dec.text(), so_far);
            ASSERT_EQ(inc, full_decode(so_far)) << "text so far: " << so_far;
            if (inc.count || inc.status >= 0)
                break;
        }
    }
}

TEST(PacketDecoder, QuotedValueDecidedOnlyWhenTheCharacterAfterTheQuoteArrives)
{
    packet_decoder dec;
    EXPECT_EQ(dec.feed("#k=\"a#b\""), 0);
    ASSERT_EQ(dec.feed("#"), 2);
    EXPECT_EQ(dec.pairs().texts, (std::vector<std::string>{"k", "a#b"}));
}

TEST(PacketDecoder, OneBytePerPieceOfALongRequestStaysLinear)
{
    std::string text = "#keycount=3#requestaction=runcheck#sessionid=X#";
    while (text.size() < max_text - 8)
        text += "k=v#";
    packet_decoder dec;
    int last = 0;
    for (char c : text)
        last = dec.feed(std::string_view(&c, 1));
    EXPECT_EQ(last, full_decode(text).count);
}
