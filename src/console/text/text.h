// Agent text made safe for where the console prints it: a terminal, a scheduler's plugin
// output, a JSON string. The agent's texts come from the host (mount points, process
// commands) and may hold any byte. Pure: no I/O.
#pragma once

#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// The length of the well-formed UTF-8 sequence at s[i] (1 for ASCII), 0 when the bytes
// there are not one (a stray continuation byte, an overlong or cut-off sequence, a
// surrogate, a code point beyond U+10FFFF).
std::size_t utf8_sequence(std::string_view s, std::size_t i);

// For a terminal: control characters (C0, DEL, C1) and bytes that are not UTF-8 are shown
// escaped ("\n", "\t", "\x1b", "\u009b"); a backslash is doubled, so an escape in the
// output always stands for the byte, never for itself.
std::string human_text(std::string_view s);

// For plugin and passive output: every line end and control character becomes a blank,
// a '|' (which would start performance data) becomes '/', and bytes that are not UTF-8
// become '?'. The result is one line that adds nothing to what a scheduler reads.
std::string plugin_text(std::string_view s);

// The lines of text without their line feeds; none for an empty text.
std::vector<std::string_view> text_lines(std::string_view text);

// s with every byte that is not part of well-formed UTF-8 replaced by U+FFFD.
std::string valid_utf8(std::string_view s);

// s as the inside of a JSON string: valid UTF-8 (see valid_utf8), '"' and '\\' escaped,
// control characters written \n, \t or \u00XX.
std::string json_escape(const std::string& s);
// s as a JSON string, in its quotes.
std::string json_string(const std::string& s);

} // namespace dorv
