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

std::string escape_plugin_text(std::string_view text);

// The inverse of escape_plugin_text. A backslash that starts no escape of that form (which
// the agent never writes) is kept as it is.
std::string unescape_plugin_text(std::string_view text);

// The length of the longest prefix of an escaped text that fits in room characters and
// ends neither inside an escape nor inside a UTF-8 sequence, so that a cut text still
// turns back into a prefix of the original, made of whole characters.
std::size_t escaped_cut(std::string_view escaped, std::size_t room);

} // namespace dorv
