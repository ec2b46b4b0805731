// Fixed sizes of the agent's texts and arrays, its exit statuses, and the way a deep
// failure ends the process.
#pragma once

#include <cstddef>

namespace dorv {

// Entries of a parameter array, the terminating null included.
inline constexpr int max_entries = 16384;
// Longest text anywhere in the protocol: a packet, a request, a result, a line read.
inline constexpr std::size_t max_text = 16383;
// Bytes taken from standard input by one read.
inline constexpr std::size_t read_chunk = 4096;

// Exit statuses of the agent, named by their cause.
enum exit_status : int {
    exit_input_ended = 0,
    exit_rejected = 1,          // address outside the range, packet not written, bad header
    exit_no_sysname = 2,
    exit_definecheck_no_checkid = 3,
    exit_runcheck_no_checkid = 4,
    exit_runcheck_no_para = 5,
    exit_getcombo_no_checkid = 6,
    exit_not_implemented = 7,
    exit_not_a_packet = 8,
    exit_array_full = 10,
    exit_request_too_long = 11,
};

// Thrown where the agent must end at once; main catches it, flushes the trace and
// returns the status. Tests catch it to see the status without ending the test.
struct exit_request {
    int status;
};

[[noreturn]] inline void end_agent(int status) { throw exit_request{status}; }

}  // namespace dorv
