// The parameter array: key, value, key, value ... of every packet, reply, descriptor list
// and argument array, with the fixed capacity the protocol gives it.
#pragma once

#include <cstddef>
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

    int size() const { return static_cast<int>(texts.size()); }
    bool empty() const { return texts.empty(); }
    int pairs() const { return size() / 2; }
    const std::string& key(int pair) const { return texts[2 * static_cast<std::size_t>(pair)]; }
    const std::string& value(int pair) const { return texts[2 * static_cast<std::size_t>(pair) + 1]; }
};

// Appends key (followed by number in decimal when number is not 0) and value; returns the
// new position. A pair is taken only while position + 2 stays below the capacity: the
// array full ends the agent with status 10.
int array_add(param_array& array, std::string_view key, int number, std::string_view value);

// The number after a key word as array_add forms it ("paramname12" and "paramname" give
// 12), or 0 when key is not the word followed by a number of at most five digits.
int key_number(std::string_view key, std::string_view word);

// Releases every text of the array; the array is then empty.
void array_free(param_array& array);

} // namespace dorv
