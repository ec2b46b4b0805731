// The only code that touches the connection: sending one packet with its header pairs,
// and reading one request with its header pairs validated.
#pragma once

#include <optional>
#include <string>
#include <string_view>

#include <unistd.h>

#include "protocol/param_array.h"

namespace dorv {

// Writes '#keycount=N#responseaction=cmd#sessionid=ID#' and the pairs as one packet with
// one write call, then traces it. Returns the packet's length. A packet that would pass
// 16383 characters (fits_packet), or one not written whole, ends the agent with status 1.
int send_cmd(std::string_view cmd, const param_array& param, int fd = STDOUT_FILENO);

// Reads until one whole request has arrived, validates its header pairs and moves its own
// pairs into args. Returns the action name, or nothing when the input has ended. A bad
// header ends the agent with status 1, a request of 16383 characters that never
// completes with status 11.
std::optional<std::string> read_cmd(param_array& args, int fd = STDIN_FILENO);

} // namespace dorv
