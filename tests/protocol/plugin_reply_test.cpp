// Escaping a plugin's text: every byte string turns back exactly, what travels holds no
// byte a packet cannot carry, and a cut never splits an escape or a character.
#include "protocol/plugin_reply.h"

#include <gtest/gtest.h>

#include <random>

#include "protocol/packet.h"

using namespace dorv;

TEST(PluginText, EscapesOnlyWhatAPacketCannotCarryAndTurnsBackExactly)
{
    struct row {
        std::string text, escaped;
    };
    const row rows[] = {
        {"DISK OK - free space: / 80320MiB (81%)", "DISK OK - free space: / 80320MiB (81%)"},
        {"issue #42 \"quoted\"", "issue \\x2342 \\x22quoted\\x22"},
        {std::string("a\0b", 3), "a\\x00b"},
        {"C:\\x23 stays", "C:\\\\x23 stays"},
        {"line\nfeed\ttab\r", "line\nfeed\ttab\r"},
        {"", ""},
    };
    for (const auto& r : rows) {
        EXPECT_EQ(escape_plugin_text(r.text), r.escaped);
        EXPECT_EQ(unescape_plugin_text(r.escaped), r.text);
    }
    std::mt19937 gen(7);
    for (int i = 0; i < 2000; ++i) {
        std::string text(gen() % 64, '\0');
        for (char& c : text)
            c = static_cast<char>(gen() % 256);
        std::string e = escape_plugin_text(text);
        ASSERT_TRUE(can_travel(e) && e.find('\0') == std::string::npos);
        ASSERT_EQ(unescape_plugin_text(e), text);
        // Any cut turns back into a prefix of the text.
        std::size_t room = gen() % (e.size() + 2);
        std::size_t n = escaped_cut(e, room);
        ASSERT_LE(n, room);
        std::string back = unescape_plugin_text(e.substr(0, n));
        ASSERT_EQ(text.compare(0, back.size(), back), 0);
    }
}

TEST(PluginText, CutKeepsEscapesAndCharactersWhole)
{
    EXPECT_EQ(escaped_cut("ab\\x23", 5), 2u);
    EXPECT_EQ(escaped_cut("ab\\x23", 6), 6u);
    EXPECT_EQ(escaped_cut("ab\\\\c", 3), 2u);
    EXPECT_EQ(escaped_cut("a\xc3\xa9"
                          "b",
                          2),
              1u); // é is two bytes
    EXPECT_EQ(escaped_cut("a\xe2\x82\xac"
                          "b",
                          3),
              1u); // € is three
    EXPECT_EQ(escaped_cut("a\xe2\x82\xac"
                          "b",
                          4),
              4u);
}
