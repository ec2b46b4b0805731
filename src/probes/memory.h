// Memory checks: free shares of RAM and swap from the summary lines of "top -d 1 -n 1 -b".
#pragma once

#include <cstdint>
#include <string>
#include <string_view>

#include "probes/command.h"
#include "protocol/param_array.h"

namespace dorv {

// Free shares in percent; -1 where no line gave a figure.
struct free_figures {
    int ram = -1;
    int swap = -1;
};

// 100 - used * 100 / total, the division dropping its remainder; 0 when total is 0.
void get_free_save(int* where, std::int64_t used, std::int64_t total);

// Applies one summary line of top to the figures; lines that match no rule change nothing.
void parse_top_line(std::string_view line, free_figures& figures);

// Applies every line of top's output; a later line replaces an earlier figure.
void parse_top(line_source& lines, free_figures& figures);

// Runs top and stores the figures it gives; returns 0 when top cannot be started.
int get_free(int* ram, int* swap);

int params_ram(param_array& param);
int params_swap(param_array& param);
void run_ram(const param_array& arg, int& status, std::string& result);
void run_swap(const param_array& arg, int& status, std::string& result);

}  // namespace dorv
