// Memory checks: free shares of RAM and swap from the summary lines of "top -d 1 -n 1 -b".
#pragma once

#include <functional>
#include <optional>
#include <string>
#include <string_view>

#include "probes/command.h"
#include "probes/free_figures.h"
#include "protocol/descriptors.h"

namespace dorv {

// Applies one summary line of top (without its line end) to the figures. Lines of a known
// labelled layout give figures from their labelled amounts, units included; other lines
// that begin with "Mem:", "Swap:" or "Memory:" are read by how many numbers they hold;
// anything else changes nothing. A summary line with a negative amount ("-512M") gives
// no figure for what it speaks of.
void parse_top_line(std::string_view line, free_figures& figures);

// Applies every line of top's output in order; a later line replaces an earlier figure.
void parse_top(line_source& lines, free_figures& figures);

// Where top prints no swap line (BusyBox), free does: "Swap: TOTAL USED FREE".
inline constexpr const char* free_command = "free";

// Applies free's output to the swap figure: a "Swap:" line of three amounts (total, used,
// free) gives it; every other line changes nothing.
void parse_free(line_source& lines, free_figures& figures);

// Runs top and stores the figures it gives into *ram and *swap (either may be null);
// a figure that no line gives is left as it was. When top could not run, did not finish
// in time or was killed, nothing is stored. A top that ran to a good end with a RAM
// figure and no swap line leaves the swap figure to free_command. When top failed, or when a figure asked for
// stays -1, problem (when not null) receives the cause, naming the command and, where a line gave amounts
// that cannot be true, what is wrong with them. Returns 0 when top cannot be started, else 1.
int get_free(int* ram, int* swap, std::string* problem = nullptr);

// Reads the figures the way get_free does, problem receiving its cause; tests put their
// own figures in its place.
using free_reader = std::function<int(int* ram, int* swap, std::string& problem)>;
int read_top(int* ram, int* swap, std::string& problem);

// The runner of both memory checks: check_ram non-zero compares the RAM figure, else the
// swap figure, with the limit given under the name var; up while the figure is above the
// limit. msg_ok and msg_fail are result formats whose one "%d" takes the figure ("%%"
// writes '%'). Sets neither status nor result when the first parameter is not var; sets
// no status, and the cause as result, when there is no figure to compare.
void free_check(const param_array& arg, int& status, std::string& result, int check_ram, const char* var,
                const char* msg_ok, const char* msg_fail, const free_reader& read = read_top);

int params_ram(param_array& param, std::size_t budget = unbounded);
int params_swap(param_array& param, std::size_t budget = unbounded);
void run_ram(const param_array& arg, int& status, std::string& result);
void run_swap(const param_array& arg, int& status, std::string& result);

} // namespace dorv
