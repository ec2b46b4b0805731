// The seam between the console's commands and the agent they talk to: one request, one
// reply. The real session is console_client; tests give the commands a fake one.
#pragma once

#include <string>

#include "protocol/param_array.h"

namespace dorv {

class agent_session {
  public:
    virtual ~agent_session() = default;

    // Sends one request with the pairs of own and reads the reply's own pairs (header pairs
    // removed) into reply. False, with error set, when the session has failed; every later
    // request then fails too.
    virtual bool request(const std::string& action, const param_array& own, param_array& reply,
                         std::string& error) = 0;
};

} // namespace dorv
