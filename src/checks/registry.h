// The handlers of the four request actions, over the checks the agent offers.
#pragma once

#include <string>

#include "protocol/param_array.h"

namespace dorv {

// The handlers append their reply pairs to reply, which is empty on entry. A request of
// the wrong shape ends the agent with the handler's own status.
int rpc_listchecks(const std::string& cmd, const param_array& param, param_array& reply);
int rpc_definecheck(const std::string& cmd, const param_array& param, param_array& reply);
int rpc_getcombo(const std::string& cmd, const param_array& param, param_array& reply);
void rpc_runcheck(const std::string& cmd, const param_array& param, param_array& reply);

// Builds the "checkid" and "parameters" reply for checkname, the descriptor list kept
// small enough that the reply to cmd stays a packet of at most 16383 characters. With
// filesystems, asked by a request pair "filesystems" = "1", a check whose list holds the
// mount points gets a last pair "filesystems": a quoted nested packet whose "fstypeN" is
// the file system type of the list's N-th value ("" when unknown), when the platform tells
// types and the pair fits. A request without it gets exactly the reply it always got.
int check_params(const std::string& cmd, const std::string& checkname, param_array& reply,
                 bool filesystems = false);

} // namespace dorv
