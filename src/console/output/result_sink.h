// Where passive results go instead of standard output (--submit): one result at a time,
// each within the run's delivery deadline.
#pragma once

#include <chrono>
#include <cstdio>
#include <string>
#include <vector>

#include "console/output/passive_result.h"

namespace dorv {

using send_deadline = std::chrono::steady_clock::time_point;

class result_sink {
  public:
    virtual ~result_sink() = default;
    // Sends one result, done by deadline; false, with why not in error, when it was not accepted.
    virtual bool send(const passive_result& r, send_deadline deadline, std::string& error) = 0;
};

// Sends every result, all of them within seconds: a result whose turn comes after that is
// not sent. Says on err which were not accepted and why; their count.
std::size_t deliver(result_sink& sink, const std::vector<passive_result>& results, double seconds,
                    std::FILE* err);

} // namespace dorv
