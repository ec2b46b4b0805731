// The messages of OpenSSH's connection multiplexing protocol that opening one session
// over a master takes (OpenSSH's PROTOCOL.mux): each a 32-bit length and a payload of
// 32-bit numbers and length-prefixed strings, all in network byte order. Pure: no I/O.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dorv {

inline constexpr std::uint32_t mux_hello = 0x00000001;
inline constexpr std::uint32_t mux_new_session = 0x10000002;
inline constexpr std::uint32_t mux_permission_denied = 0x80000002;
inline constexpr std::uint32_t mux_failure = 0x80000003;
inline constexpr std::uint32_t mux_exit_message = 0x80000004;
inline constexpr std::uint32_t mux_session_opened = 0x80000006;
inline constexpr std::uint32_t mux_version = 4;

// The client's hello, framed.
std::string mux_hello_packet();

// A request for a session without a terminal, forwarding or escape character that runs
// command, framed. The three descriptors follow it apart.
std::string mux_new_session_packet(std::uint32_t request_id, const std::string& command);

// A message from the master: its type, its first two numbers (the request or session
// and, for an exit message, the exit status) and, for a refusal, the reason.
struct mux_reply {
    std::uint32_t type = 0;
    std::uint32_t first = 0;
    std::uint32_t second = 0;
    std::string reason;
};

// Takes the first whole packet off buffer; nothing while it is not whole. bad is set
// when the buffer cannot hold a packet (a length past 256 KiB).
std::optional<mux_reply> take_mux_reply(std::string& buffer, bool& bad);

} // namespace dorv
