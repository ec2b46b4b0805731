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

}  // namespace dorv
