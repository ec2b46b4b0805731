// The session identifier: 36 upper-case hex digits and hyphens, 8-4-4-4-12, made once per
// process from the start time in whole seconds.
#pragma once

#include <string>

namespace dorv {

// Set once by generate_session_id; every packet carries it and every request must too.
extern std::string g_session_id;

// Writes four hex digits at where from the random sequence; returns where + 4.
char* random_hex(char* where);

// Seeds the random sequence with the time, makes the identifier, stores it in
// g_session_id and returns it.
std::string generate_session_id();

} // namespace dorv
