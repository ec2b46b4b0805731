// The parameter array: key, value, key, value ... of every packet, reply, descriptor list
// and argument array, with the fixed capacity the protocol gives it.
#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>
#include <vector>

#include "protocol/limits.h"

namespace dorv {

struct param_array {
    explicit param_array(int capacity = max_entries) : max(capacity) {}

    // Keys at even, values at odd indices; the terminating null is implicit.
    std::vector<std::string> texts;
    // Capacity in entries, the terminating null included.
    int max;
    // Longest packed form (dorv_pack) that a list combo may grow to; only param_combo
    // looks at it, to keep a descriptor list within the room the reply budget leaves it.
    std::size_t max_packed = std::numeric_limits<std::size_t>::max();

    int size() const { return static_cast<int>(texts.size()); }
    bool empty() const { return texts.empty(); }
    int pairs() const { return size() / 2; }
    const std::string& key(int pair) const { return texts[static_cast<std::size_t>(2 * pair)]; }
    const std::string& value(int pair) const { return texts[static_cast<std::size_t>(2 * pair + 1)]; }
};

// Appends key (followed by number in decimal when number is not 0) and value; returns the
// new position. A pair is taken only while position + 2 stays below the capacity: the
// array full ends the agent with status 10.
int array_add(param_array& array, std::string_view key, int number, std::string_view value);

// Releases every text of the array; the array is then empty.
void array_free(param_array& array);

} // namespace dorv
