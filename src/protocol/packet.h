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

// Length of what dorv_pack would return, without building it.
std::size_t packed_length(const param_array& param);

// Decodes buffer (up to its first zero byte) into param, replacing what it held once a
// pair is stored. Returns the number of texts stored, twice the number of pairs, or 0 when
// the text is incomplete or holds no pair (the pairs stored so far then stay in param).
// A text that does not begin with '#' ends the agent with status 8; a full array with 10.
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
    std::size_t stable_ = 1;  // where the first field that may still change begins
    int stable_count_ = 0;    // texts in pairs_ that come from fields before stable_
    param_array pairs_;
};

}  // namespace dorv
