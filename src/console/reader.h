// Cuts the agent's output into packets. The agent's packets carry no line end and no
// framing: a packet is complete when it decodes and holds the pairs its keycount
// announces. Pure: bytes go in, packets come out, nothing touches a descriptor.
#pragma once

#include <string>
#include <string_view>

#include "protocol/param_array.h"

namespace dorv {

enum class take_result {
    need_more, // no whole packet yet
    packet,    // one packet taken off the front
    bad,       // the bytes cannot be a packet; error() says why
};

class packet_reader {
  public:
    // Appends bytes as they were read, in any split.
    void feed(std::string_view bytes);

    // Takes the first whole packet off the buffered bytes: its text into text, its pairs
    // (header pairs included) into pairs. Bytes after it stay for the next call.
    take_result take(param_array& pairs, std::string& text);

    // Why take() said bad.
    const std::string& error() const { return error_; }
    // Bytes buffered and not yet taken.
    const std::string& pending() const { return buf_; }

  private:
    take_result fail(std::string why);

    std::string buf_;
    std::string error_;
};

} // namespace dorv
