// The trace log: standard error, reopened on the configured file. Every line goes out in
// one append as soon as it is written, so agents sharing a log never interleave within a
// line and a killed agent loses nothing it traced.
#pragma once

#include <initializer_list>
#include <string_view>

namespace dorv {

// Points standard error at path, opened for appending (created when missing). When the
// file cannot be opened the trace is dropped: standard error then goes to /dev/null, so
// that descriptor 2 never stays closed for a later pipe to take.
void trace_open(const char* path);

// Formats like printf and writes the result with one write call.
void trace(const char* format, ...) __attribute__((format(printf, 1, 2)));

// Writes the text as it is, with one write call.
void trace_text(std::string_view text);

// Writes the parts one after the other as one line, with one write call and no copy.
void trace_parts(std::initializer_list<std::string_view> parts);

}  // namespace dorv
