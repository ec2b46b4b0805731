// Packet decoder and encoder.
//  - A text fed in pieces to packet_decoder gives after every piece what dorv_unpack
//    gives for all the text so far: the same result, pairs and ending status.
//  - Any text: decoding ends the agent only with status 8 (text not beginning with '#') or
//    10 (more pairs than an array holds); a result above 0 counts the texts stored and
//    comes only from a text that ends with the '#' of its last field.
//  - Pairs that obey the packet rules (keys without '=', plain values without '#' and not
//    opening with a double quote, quoted values without a double quote inside, one level
//    of nesting) come back from dorv_unpack(dorv_pack(...)) as they went in.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <cstring>
#include <string>
#include <string_view>
#include <vector>

#include "fuzz_check.h"
#include "protocol/packet.h"

using namespace dorv;

namespace {

// What dorv_unpack gives for a text: its result and pairs, or the status it ends with.
struct decoding {
    int result = 0;
    int status = -1;
    std::vector<std::string> pairs;
    bool operator==(const decoding&) const = default;
};

decoding unpack(std::string_view text)
{
    decoding d;
    param_array param;
    try {
        d.result = dorv_unpack(text, param);
        if (d.result > 0)
            d.pairs = param.texts;
    } catch (const exit_request& e) {
        d.status = e.status;
    }
    return d;
}

// The text fed to a packet_decoder in pieces whose sizes come from the input: after each
// piece it gives what dorv_unpack gives for all the text so far.
void decode_in_pieces(std::string_view text)
{
    packet_decoder decoder;
    std::string so_far;
    std::size_t at = 0;
    std::uint32_t r = static_cast<std::uint32_t>(text.size());
    while (at < text.size()) {
        r = r * 1103515245u + 12345u;
        // Mostly a few bytes; long texts in about a hundred pieces, to keep a run short.
        std::size_t most = std::max<std::size_t>(8, text.size() / 64);
        std::size_t len = std::min<std::size_t>(1 + (r >> 16) % most, text.size() - at);
        std::string_view piece = text.substr(at, len);
        at += len;
        so_far += piece.substr(0, std::min(piece.size(), piece.find('\0')));
        decoding whole = unpack(so_far);
        decoding pieces;
        try {
            pieces.result = decoder.feed(piece);
            if (pieces.result > 0)
                pieces.pairs = decoder.pairs().texts;
        } catch (const exit_request& e) {
            pieces.status = e.status;
        }
        FUZZ_CHECK(decoder.text() == so_far);
        FUZZ_CHECK(pieces == whole);
        if (whole.status != -1 || whole.result != 0)
            return; // read_cmd stops here
    }
}

void decode_any_text(std::string_view text)
{
    std::string_view c_text = text.substr(0, std::min(text.find('\0'), text.size()));
    param_array param;
    int n;
    try {
        n = dorv_unpack(text, param);
    } catch (const exit_request& e) {
        expect_status(e, {exit_not_a_packet, exit_array_full});
        if (e.status == exit_not_a_packet)
            FUZZ_CHECK(c_text.empty() || c_text[0] != '#');
        else
            FUZZ_CHECK(std::count(c_text.begin(), c_text.end(), '#') > max_entries / 2);
        return;
    }
    FUZZ_CHECK(!c_text.empty() && c_text[0] == '#');
    FUZZ_CHECK(n >= 0 && n % 2 == 0);
    if (n > 0) {
        FUZZ_CHECK(param.size() == n);
        FUZZ_CHECK(c_text.back() == '#');
    }
}

std::string without(std::string s, const char* chars)
{
    // strchr finds the terminator too: zero bytes go as well, packets are C texts.
    s.erase(std::remove_if(s.begin(), s.end(), [&](char c) { return std::strchr(chars, c) != nullptr; }),
            s.end());
    return s;
}

// Fills `sent` with pairs that obey the packet rules and `expected` with what decoding
// must give back. A nested packet (outer level only) travels between double quotes, so it holds none.
void make_pairs(FuzzedDataProvider& in, bool outer, param_array& sent, param_array& expected)
{
    int pairs = in.ConsumeIntegralInRange(0, 12);
    for (int i = 0; i < pairs && in.remaining_bytes() > 0; ++i) {
        std::string key = without(in.ConsumeRandomLengthString(64), outer ? "=" : "=\"");
        std::string value;
        std::string decoded;
        int kind = in.ConsumeIntegralInRange(0, outer ? 2 : 0);
        if (kind == 0) {
            decoded = without(in.ConsumeRandomLengthString(64), outer ? "#" : "#\"");
            decoded.erase(0, decoded.find_first_not_of('"'));
            value = decoded;
        } else if (kind == 1) {
            decoded = without(in.ConsumeRandomLengthString(64), "\"");
            value = "\"" + decoded + "\"";
        } else {
            param_array inner_sent, inner_expected;
            make_pairs(in, false, inner_sent, inner_expected);
            decoded = dorv_pack(inner_sent);
            value = "\"" + decoded + "\"";
            param_array back;
            FUZZ_CHECK(dorv_unpack(decoded, back) == inner_expected.size());
            FUZZ_CHECK(inner_expected.empty() || back.texts == inner_expected.texts);
        }
        array_add(sent, key, 0, value);
        array_add(expected, key, 0, decoded);
    }
}

void round_trip(FuzzedDataProvider& in)
{
    param_array sent, expected;
    make_pairs(in, true, sent, expected);
    std::string packet = dorv_pack(sent);
    FUZZ_CHECK(packet.size() == packed_length(sent));
    param_array back;
    int n = dorv_unpack(packet, back);
    FUZZ_CHECK(n == expected.size());
    if (n > 0)
        FUZZ_CHECK(back.texts == expected.texts);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    decode_any_text(text);
    decode_in_pieces(text);
    FuzzedDataProvider in(data, size);
    round_trip(in);
    return 0;
}
