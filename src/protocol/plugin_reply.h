// How a plugin's own text travels in a reply: every byte that a packet cannot carry ('#'
// ends a pair, '"' opens or ends a quoted value, a zero byte ends a text) is written as a
// backslash escape, and so is the backslash itself:
//   '\' -> "\\"    '#' -> "\x23"    '"' -> "\x22"    zero byte -> "\x00"
// Every other byte goes as it is. unescape_plugin_text turns such a text back exactly.
#pragma once

#include <cstddef>
#include <string>
#include <string_view>

namespace dorv {

// The keys that the runcheck replies of a configured check carry besides the built-in
// checks' ones, and only they. "state" is in every one of them: "ok", "warning" or
// "critical" beside "result", "unknown" beside "errormessage". "perfdata" and
// "longoutput" (both perhaps empty) follow "resultstring". The values of "resultstring",
// "perfdata", "longoutput" and "errormessage" in these replies are escaped.
inline constexpr std::string_view state_key = "state";
inline constexpr std::string_view perfdata_key = "perfdata";
inline constexpr std::string_view long_output_key = "longoutput";
// Beside "checkid" in the definecheck and getcomboparamvalues replies of a configured check
// that does not run: why (escaped); its lists then offer no values.
inline constexpr std::string_view problem_key = "problem";
inline constexpr std::string_view plugin_states[] = {"ok", "warning", "critical", "unknown"};

std::string escape_plugin_text(std::string_view text);

// The inverse of escape_plugin_text. A backslash that starts no escape of that form (which
// the agent never writes) is kept as it is.
std::string unescape_plugin_text(std::string_view text);

// The length of the longest prefix of an escaped text that fits in room characters and
// ends neither inside an escape nor inside a UTF-8 sequence, so that a cut text still
// turns back into a prefix of the original, made of whole characters.
std::size_t escaped_cut(std::string_view escaped, std::size_t room);

} // namespace dorv
