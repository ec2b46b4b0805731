// Packet encoding and decoding.
#include "protocol/packet.h"

#include <gtest/gtest.h>

#include <vector>

#include "support/capture.h"

using namespace dorv;
using dorv_test::exit_status_of;

namespace {

param_array array_of(std::vector<std::string> texts, int capacity = max_entries)
{
    param_array a(capacity);
    a.texts = std::move(texts);
    return a;
}

} // namespace

TEST(Pack, EmptyArrayIsOneHash)
{
    EXPECT_EQ(dorv_pack(param_array{}), "#");
}

TEST(Pack, PairsInOrderWithNothingQuotedOrEscaped)
{
    struct row {
        std::vector<std::string> texts;
        std::string packet;
    };
    const row rows[] = {
        {{"a", ""}, "#a=#"},
        {{"checkid", "CPU", "result", "up"}, "#checkid=CPU#result=up#"},
        {{"k", "a=b", "q", "say \"hi\""}, "#k=a=b#q=say \"hi\"#"},
        {{"parameters", "\"#paramname1=Load Limit [%]#\""}, "#parameters=\"#paramname1=Load Limit [%]#\"#"},
    };
    for (const auto& r : rows) {
        param_array a = array_of(r.texts);
        EXPECT_EQ(dorv_pack(a), r.packet);
        EXPECT_EQ(packed_length(a), r.packet.size());
    }
}

TEST(Pack, RoundTripKeepsEveryPairThatCarriesNoHashOrEquals)
{
    const std::vector<std::vector<std::string>> arrays = {
        {"a", "1"},
        {"empty", ""},
        {"k", "a=b=c", "x", "tail\"quote", "", "no key"},
        {"Load Limit [%]", "80", "Swap Limit [%]", "-5"},
    };
    for (const auto& texts : arrays) {
        param_array back;
        int n = dorv_unpack(dorv_pack(array_of(texts)), back);
        EXPECT_EQ(n, static_cast<int>(texts.size()));
        EXPECT_EQ(back.texts, texts);
    }
}

TEST(Pack, QuotedNestedPacketComesBackAsItsInnerText)
{
    const std::string nested = "#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#";
    param_array outer = array_of({"checkid", "CPU", "parameters", "\"" + nested + "\"", "after", "x"});
    param_array back;
    ASSERT_EQ(dorv_unpack(dorv_pack(outer), back), 6);
    EXPECT_EQ(back.value(1), nested);
    EXPECT_EQ(back.value(2), "x");

    param_array inner;
    ASSERT_EQ(dorv_unpack(back.value(1), inner), 6);
    EXPECT_EQ(inner.texts, (std::vector<std::string>{"paramname1", "Load Limit [%]", "paramtype1",
                                                     "longinteger", "maxlength1", "200"}));
}

TEST(Travel, AValueTravelsUpToItsFirstHashOrQuote)
{
    EXPECT_EQ(travelling_length("/mnt/a b"), 8u);
    EXPECT_TRUE(can_travel("/mnt/a b"));
    EXPECT_EQ(travelling_length("sh -c x#y\"z"), 7u);
    EXPECT_EQ(travelling_length("say \"hi\""), 4u);
    EXPECT_FALSE(can_travel("#"));
    EXPECT_TRUE(can_travel(""));
}

TEST(Unpack, CompleteTextsDecodeByTheFieldRules)
{
    struct row {
        std::string text;
        std::vector<std::string> texts;
    };
    const row rows[] = {
        {"#a=1#b=2##c=3#", {"a", "1", "b", "2", "#c", "3"}},
        {"#a#b=c#", {"a#b", "c"}},
        {"#k=a=b#", {"k", "a=b"}},
        {"#k=\"\"#", {"k", ""}},
        {"#k=#", {"k", ""}},
        {"#=v#", {"", "v"}},
        // A closing quote not followed by '#' makes the value plain text, quotes kept.
        {"#k=\"x\"y#z=1#", {"k", "\"x\"y", "z", "1"}},
        {"#k=\"x\"y\"#", {"k", "\"x\"y\""}},
        // Quotes inside an unquoted value are ordinary characters.
        {"#k=a\"b\"#", {"k", "a\"b\""}},
        {"#p=\"#a=1#b=2#\"#q=2#", {"p", "#a=1#b=2#", "q", "2"}},
        // The text ends at its first zero byte.
        {std::string("#a=1#\0b=2#", 10), {"a", "1"}},
    };
    for (const auto& r : rows) {
        param_array a;
        EXPECT_EQ(dorv_unpack(r.text, a), static_cast<int>(r.texts.size())) << r.text;
        EXPECT_EQ(a.texts, r.texts) << r.text;
    }
}

TEST(Unpack, IncompleteTextsGiveZeroAndKeepThePairsStoredSoFar)
{
    struct row {
        const char* text;
        std::vector<std::string> kept;
    };
    const row rows[] = {
        {"#keycount=3#reque", {"keycount", "3"}},
        {"#keycount=3#requestaction=listch", {"keycount", "3"}},
        {"#keycount=3#requestaction=", {"keycount", "3"}},
        {"#a=1#para=\"#Load Limit", {"a", "1"}},
        {"#a=1#para=\"#Load Limit [%]=80#", {"a", "1"}},
        // A line end after the last field is a key still arriving.
        {"#a=1#\n", {"a", "1"}},
        // A value opening with a quote that never closes waits for the rest.
        {"#k=\"abc#", {}},
        // Only one level of nesting: an inner quoted value breaks the outer one.
        {"#p=\"#a=\"b\"#\"#", {"p", "\"", "a", "b"}},
    };
    for (const auto& r : rows) {
        param_array a;
        EXPECT_EQ(dorv_unpack(r.text, a), 0) << r.text;
        EXPECT_EQ(a.texts, r.kept) << r.text;
    }
}

TEST(Unpack, LoneHashStoresNothingAndLeavesTheArrayAlone)
{
    param_array a = array_of({"old", "pair"});
    EXPECT_EQ(dorv_unpack("#", a), 0);
    EXPECT_EQ(a.texts, (std::vector<std::string>{"old", "pair"}));
}

TEST(Unpack, DecodingAgainReplacesWhatTheArrayHeld)
{
    param_array a = array_of({"old1", "x", "old2", "y", "old3", "z"});
    EXPECT_EQ(dorv_unpack("#new=1#", a), 2);
    EXPECT_EQ(a.texts, (std::vector<std::string>{"new", "1"}));
}

TEST(Unpack, TextNotStartingWithHashEndsWithStatusEight)
{
    const std::string texts[] = {"", "\n#a=1#", "a=1#", " #a=1#", std::string("\0#a=1#", 6)};
    for (const auto& text : texts) {
        param_array a;
        EXPECT_EQ(exit_status_of([&] { dorv_unpack(text, a); }), exit_not_a_packet) << text;
    }
}

TEST(Unpack, FullArrayEndsWithStatusTen)
{
    // A capacity of 7 takes three pairs (positions 0, 2, 4), 6 only two.
    param_array seven(7);
    EXPECT_EQ(dorv_unpack("#a=1#b=2#c=3#", seven), 6);
    param_array six(6);
    EXPECT_EQ(exit_status_of([&] { dorv_unpack("#a=1#b=2#c=3#", six); }), exit_array_full);
}

TEST(UnpackPacket, ReportsFaultsWithoutEndingAnything)
{
    param_array a, six(6);
    EXPECT_EQ(
        exit_status_of([&] { EXPECT_EQ(unpack_packet("a=1#", a).status, unpack_status::not_a_packet); }), -1);
    unpack_result full{};
    EXPECT_EQ(exit_status_of([&] { full = unpack_packet("#a=1#b=2#c=3#", six); }), -1);
    EXPECT_EQ(full.status, unpack_status::array_full);
    EXPECT_EQ(six.texts, (std::vector<std::string>{"a", "1", "b", "2"}));
    unpack_result ok = unpack_packet("#a=1#", a);
    EXPECT_EQ(ok.status, unpack_status::ok);
    EXPECT_EQ(ok.count, 2);
}
