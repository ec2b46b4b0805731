// The header pairs that open every packet: "keycount", then "requestaction" (console) or
// "responseaction" (agent), then "sessionid". Building them in front of a packet's own
// pairs, and checking that they are there.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

#include "protocol/param_array.h"

namespace dorv {

// Who sends the packet: the console requests, the agent responds.
enum class header_side { request, response };

// "requestaction" or "responseaction".
std::string_view action_key(header_side side);

// '#keycount=N#requestaction=ACTION#sessionid=ID' (or responseaction) for a packet with
// own_pairs pairs of its own. The '#' that closes ID is the one that opens the own pairs.
std::string packet_header(header_side side, std::string_view action, std::string_view session_id,
                          int own_pairs);

// The whole packet: the header, then own's pairs as dorv_pack encodes them.
std::string header_packet(header_side side, std::string_view action, std::string_view session_id,
                          const param_array& own);

// Length of what header_packet would return, without building it.
std::size_t header_packet_length(header_side side, std::string_view action, std::string_view session_id,
                                 const param_array& own);

// The first header pair missing or out of place, in the order they are checked.
enum class header_fault { none, no_keycount, no_action, no_sessionid };

// Checks that pairs opens with keycount, the side's action key and sessionid, by key only:
// what their values must be is the caller's.
header_fault check_header(const param_array& pairs, header_side side);

} // namespace dorv
