// The size budget of the agent's replies. A reply is one packet of at most 16383
// characters; its last value (a result text, a descriptor list) is cut or shortened to
// the room the rest of the packet leaves. Lengths are counted by the rules the header and
// dorv_pack write by, without building the packet.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/param_array.h"

namespace dorv {

// Length of one pair as array_add stores it (number appended in decimal when not 0) and
// dorv_pack writes it: key, '=', value, '#'.
std::size_t packed_pair_length(std::string_view key, int number, std::string_view value);

// Length of the packet that send_cmd would write for this action and these pairs.
std::size_t reply_length(std::string_view cmd, const param_array& param);

// Whether a packet of this length may be sent.
bool fits_packet(std::size_t length);

// Room left for the value of one more pair keyed key at the end of reply, so that the
// packet sent for cmd stays within the packet limit.
std::size_t room_for_last_value(std::string_view cmd, const param_array& reply, std::string_view key);

// Room for what travels between the two double quotes of a quoted value given room.
std::size_t room_inside_quotes(std::size_t room);

// Cuts text to at most room characters.
void cut_to(std::string& text, std::size_t room);

// Appends key with as much of value as room_for_last_value leaves it.
void add_last_value(std::string_view cmd, param_array& reply, std::string_view key, std::string_view value);

} // namespace dorv
