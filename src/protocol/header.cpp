// Header pairs of a packet.
#include "protocol/header.h"

#include "protocol/packet.h"

namespace dorv {

namespace {

constexpr std::string_view keycount_key = "keycount";
constexpr std::string_view sessionid_key = "sessionid";

} // namespace

std::string_view action_key(header_side side)
{
    return side == header_side::request ? "requestaction" : "responseaction";
}

std::string packet_header(header_side side, std::string_view action, std::string_view session_id,
                          int own_pairs)
{
    std::string out;
    out.reserve(64 + action.size() + session_id.size());
    out += '#';
    out += keycount_key;
    out += '=';
    out += std::to_string(own_pairs + 2); // the action and sessionid pairs count, keycount not
    out += '#';
    out += action_key(side);
    out += '=';
    out += action;
    out += '#';
    out += sessionid_key;
    out += '=';
    out += session_id;
    return out;
}

std::string header_packet(header_side side, std::string_view action, std::string_view session_id,
                          const param_array& own)
{
    std::string packet;
    packet.reserve(header_packet_length(side, action, session_id, own));
    packet += packet_header(side, action, session_id, own.pairs());
    packet += dorv_pack(own); // begins with the '#' that closes the header
    return packet;
}

std::size_t header_packet_length(header_side side, std::string_view action, std::string_view session_id,
                                 const param_array& own)
{
    // '#' key '=' value for each of the three pairs; dorv_pack's leading '#' closes the last.
    std::size_t header = std::size_t{3} * 2 + keycount_key.size() + std::to_string(own.pairs() + 2).size() +
                         action_key(side).size() + action.size() + sessionid_key.size() + session_id.size();
    return header + packed_length(own);
}

header_fault check_header(const param_array& pairs, header_side side)
{
    if (pairs.size() < 2 || pairs.key(0) != keycount_key)
        return header_fault::no_keycount;
    if (pairs.size() < 4 || pairs.key(1) != action_key(side))
        return header_fault::no_action;
    if (pairs.size() < 6 || pairs.key(2) != sessionid_key)
        return header_fault::no_sessionid;
    return header_fault::none;
}

} // namespace dorv
