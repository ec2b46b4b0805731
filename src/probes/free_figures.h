// What top's summary lines give: the free shares of RAM and swap, and the rule that turns
// a used and a total amount into such a share. Shared by the count rules (memory.cpp) and
// the labelled layouts (top_layouts.cpp).
#pragma once

#include <cstdint>
#include <optional>

namespace dorv {

// What top's summary lines have given so far.
struct free_figures {
    // Free shares in percent; -1 where no line gave a figure.
    int ram = -1;
    int swap = -1;
    // Why a figure is -1 although a line gave amounts for it: the amounts cannot be true
    // ("free above total", "used above total", "a negative amount"). Null otherwise.
    const char* ram_untrue = nullptr;
    const char* swap_untrue = nullptr;

    // A Linux "Mem" line's total and free amount (KiB, free counting buffers and cache),
    // kept for the "Swap" line after it: that line may carry the "avail Mem" or "cached"
    // amount that completes the free RAM.
    struct linux_mem {
        std::int64_t total;
        std::int64_t free;
    };
    std::optional<linux_mem> pending_mem;
};

// 100 - used * 100 / total, the division dropping its remainder (towards zero); 0 when
// total is 0. Exact for every pair of values; the figure is held within the int range.
// Does nothing when where is null.
void get_free_save(int* where, std::int64_t used, std::int64_t total);

// Stores the free share of used in total as the RAM (save_ram) or swap (save_swap) figure,
// by get_free_save. Amounts that cannot be true give no figure: it becomes -1, and the
// reason is kept beside it. A total of 0 with nothing used is a true 0 (no swap at all).
void save_ram(free_figures& f, std::int64_t used, std::int64_t total);
void save_swap(free_figures& f, std::int64_t used, std::int64_t total);

} // namespace dorv
