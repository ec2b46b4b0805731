// What a host's process of a --hosts run passes to the console that started it: the text
// it printed (lists, descriptions) and its passive results, in a form that keeps every
// byte, so that the console prints or submits exactly what a run of its own would have.
// Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

#include "console/output/passive_result.h"

namespace dorv {

struct host_results {
    std::string printed;
    std::vector<passive_result> results;
};

// A heading line, then each field as its length, ':', its bytes and ','.
std::string encode_host_results(const host_results& r);

// Nothing when text is not one whole encoding (cut off, or not written by the encoder).
std::optional<host_results> decode_host_results(std::string_view text);

} // namespace dorv
