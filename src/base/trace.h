// The trace log: standard error, reopened on the configured file. Every line goes out in
// one append as soon as it is written, so agents sharing a log never interleave within a
// line and a killed agent loses nothing it traced.
#pragma once

#include <initializer_list>
#include <string>
#include <string_view>

namespace dorv {

// Points standard error at path, opened for appending (created with mode 0640 when
// missing). A path whose last component is a symbolic link is not followed. When the
// file cannot be opened the trace is dropped: standard error then goes to /dev/null, so
// that descriptor 2 never stays closed for a later pipe to take.
void trace_open(const char* path);

// Formats like printf and writes the result with one write call.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the text as it is, with one write call.
void trace_text(std::string_view text);

// Writes the parts one after the other as one line, with one write call and no copy.
void trace_parts(std::initializer_list<std::string_view> parts);

// Text from the console made safe for one trace line: a line feed becomes "\n", a
// carriage return "\r", a tab "\t", any other byte below 0x20 and 0x7f "\xNN". Returns
// text itself when nothing needs escaping, else a view of storage.
std::string_view escaped(std::string_view text, std::string& storage);

// escaped() into a new text, for the formatted trace lines.
std::string escaped(std::string_view text);

// Whether escaped() rewrites byte c, and its escape appended to out.
inline bool is_control(unsigned char c)
{
    return c < 0x20 || c == 0x7f;
}
void append_control_escape(std::string& out, unsigned char c);

} // namespace dorv
