// The check table and the handlers of the four request actions.
#pragma once

#include <cstddef>
#include <string>

#include "protocol/param_array.h"

namespace dorv {

// Descriptor builder: appends the check's parameter descriptors to an empty list, keeping
// its packed form within budget characters, and returns the number of strings in it.
using params_fn = int (*)(param_array& param, std::size_t budget);

// Runner: on a run sets status (0 down, anything else up) and writes a one-line text into
// result; when the arguments are not what it expects it touches neither.
using run_fn = void (*)(const param_array& arg, int& status, std::string& result);

struct check_t {
    const char* name;
    const char* desc;
    params_fn params;
    run_fn run_check;
};

// The checks in the order the console numbers them, then a row of nulls.
extern const check_t checks[];

// The handlers append their reply pairs to reply, which is empty on entry. A request of
// the wrong shape ends the agent with the handler's own status.
int rpc_listchecks(const std::string& cmd, const param_array& param, param_array& reply);
int rpc_definecheck(const std::string& cmd, const param_array& param, param_array& reply);
int rpc_getcombo(const std::string& cmd, const param_array& param, param_array& reply);
void rpc_runcheck(const std::string& cmd, const param_array& param, param_array& reply);

// Builds the "checkid" and "parameters" reply for checkname, the descriptor list kept
// small enough that the reply to cmd stays a packet of at most 16383 characters.
int check_params(const std::string& cmd, const std::string& checkname, param_array& reply);

} // namespace dorv
