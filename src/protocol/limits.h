// Fixed sizes of the agent's texts, arrays and reads.
#pragma once

#include <cstddef>

namespace dorv {

// Entries of a parameter array, the terminating null included.
inline constexpr int max_entries = 16384;
// Longest text anywhere in the protocol: a packet, a request, a result, a line read.
inline constexpr std::size_t max_text = 16383;
// Bytes taken from standard input by one read.
inline constexpr std::size_t read_chunk = 4096;

} // namespace dorv
