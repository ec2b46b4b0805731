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
    bad,       // the bytes cannot be a packet
};

class packet_reader {
  public:
    // Appends bytes as they were read, in any split.
    void feed(std::string_view bytes);

    // Takes the first whole packet off the buffered bytes: its text into text, its pairs
    // (header pairs included) into pairs. Bytes after it stay for the next call. error
    // says why when the result is bad.
    take_result take(param_array& pairs, std::string& text, std::string& error);

    // Bytes buffered and not yet taken.
    const std::string& pending() const { return buf_; }

  private:
    std::string buf_;
};

} // namespace dorv
