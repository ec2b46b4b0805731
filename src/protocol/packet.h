// Packet encoding and decoding: '#' then key=value# per pair, no line end, no framing.
// Pure functions: no I/O.
#pragma once

#include <string>
#include <string_view>

#include "protocol/param_array.h"

namespace dorv {

// Encodes the pairs as one packet. Nothing is quoted or escaped: a caller that wants a
// nested packet as a value wraps it in double quotes itself.
std::string dorv_pack(const param_array& param);

// The text between two double quotes: how a nested packet travels as one value.
std::string quoted(std::string_view text);

// What may travel in a value: neither '#', which ends its pair, nor '"', which ends a
// quoted value (and opens one at a value's start). A value inside a quoted nested packet
// is decoded twice, so the same holds for it. travelling_length is the length of text's
// longest prefix that may travel.
std::size_t travelling_length(std::string_view text);
bool can_travel(std::string_view text);

// Length of what dorv_pack would return, without building it.
std::size_t packed_length(const param_array& param);

// How a decoding went: a whole or incomplete text, or a fault that ends the agent.
enum class unpack_status { ok, not_a_packet, array_full };

struct unpack_result {
    unpack_status status;
    int count; // texts stored, as dorv_unpack returns them
};

// Decodes buffer (up to its first zero byte) into param, replacing what it held once a
// pair is stored. count is the number of texts stored, twice the number of pairs, or 0
// when the text is incomplete or holds no pair (the pairs stored so far then stay in
// param). A text that does not begin with '#', or a pair that would fill param, is
// reported, not acted on: the console decodes with this.
unpack_result unpack_packet(std::string_view buffer, param_array& param);

// The agent's decoder: unpack_packet's count, and the agent ended on its faults, with
// status 8 for a text that does not begin with '#' and 10 for a full array.
int dorv_unpack(std::string_view buffer, param_array& param);

// Decodes a request that arrives in pieces. After each piece it gives exactly what
// dorv_unpack gives for all the text so far, but fields that can no longer change are
// decoded once, so a request arriving a byte at a time costs linear, not quadratic, work.
class packet_decoder {
  public:
    // Appends bytes, up to a zero byte, as a C text would take them.
    void append(std::string_view bytes);
    // Decodes on: returns what dorv_unpack returns for the whole text, and ends the agent
    // as it does.
    int decode();
    int feed(std::string_view bytes)
    {
        append(bytes);
        return decode();
    }
    // All text taken so far.
    const std::string& text() const { return text_; }
    // The pairs of a complete text (valid after feed returned non-zero).
    param_array& pairs() { return pairs_; }

  private:
    std::string text_;
    std::size_t stable_ = 1; // where the first field that may still change begins
    int stable_count_ = 0;   // texts in pairs_ that come from fields before stable_
    param_array pairs_;
};

} // namespace dorv
