// The agent's session: start-up, admission of the client address, the login packet and the
// request loop with its dispatch table.
#pragma once

#include <optional>
#include <string>

#include "dorv/firewall.h"

namespace dorv {

// The login name: the user the agent runs as, from the password database; absent when
// the lookup fails.
extern std::optional<std::string> dorv_login;

// Runs one session on standard input and output. Returns 0 when the input has ended;
// every other end is an exit_request carrying its status (base/exit_causes.h).
int dorv_agent();

// The request loop: reads requests from in_fd and answers each on out_fd until the input
// ends (returns 0). A request that no handler answers ends the agent with status 7.
int serve_requests(int in_fd, int out_fd);

// Admits the client address by the "firewall" value of the login name, or of the entry
// "*" when the login has none. Returns 1; an address that the value does not admit, a
// value that cannot be read, and an unknown login while "firewall" holds any entry end
// the agent with status 1. Without an address (no SSH_CLIENT) there is nothing to check.
int verify_ipaddress(const std::optional<std::string>& ip, const std::optional<std::string>& login);

} // namespace dorv
