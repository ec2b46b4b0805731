// The agent's session: start-up, admission of the client address, the login packet and the
// request loop with its dispatch table.
#pragma once

#include <cstdint>
#include <optional>
#include <string>

namespace dorv {

// The login name: the user the agent runs as, from the password database; absent when
// the lookup fails.
extern std::optional<std::string> dorv_login;

// Runs one session on standard input and output. Returns 0 when the input has ended;
// every other end is an exit_request carrying its status.
int dorv_agent();

// The request loop: reads requests from in_fd and answers each on out_fd until the input
// ends (returns 0). A request that no handler answers ends the agent with status 7.
int serve_requests(int in_fd, int out_fd);

// Admits the client address against the "firewall" range of the login name. Returns 1;
// an address outside the range ends the agent with status 1.
int verify_ipaddress(const std::optional<std::string>& ip, const std::optional<std::string>& login);

// The 32-bit value of a dotted IPv4 text, first octet on top, kept to its low 32 bits;
// 0 for absent text or text with fewer than three dots.
std::uint32_t get_ip_32bit(const char* ip);

}  // namespace dorv
