// The free share of memory from used and total amounts.
#include "probes/free_figures.h"

#include <algorithm>
#include <limits>

namespace dorv {

namespace {

std::uint64_t magnitude(std::int64_t v)
{
    return v < 0 ? 0 - static_cast<std::uint64_t>(v) : static_cast<std::uint64_t>(v);
}

} // namespace

void get_free_save(int* where, std::int64_t used, std::int64_t total)
{
    if (!where)
        return;
    if (total == 0) {
        *where = 0;
        return;
    }
    // |used| * 100 / |total| without forming a product that could overflow: the whole
    // quotient times 100, plus the remainder's share, found by adding the remainder 100
    // times modulo total (each sum stays below 2 * total, within 64 bits).
    std::uint64_t u = magnitude(used);
    std::uint64_t t = magnitude(total);
    std::uint64_t q = u / t;
    std::uint64_t r = u % t;
    std::uint64_t share;
    if (q > (std::uint64_t{1} << 40)) {
        share = std::uint64_t{1} << 47; // far beyond the int range either way
    } else if (r <= std::numeric_limits<std::uint64_t>::max() / 100) {
        share = q * 100 + r * 100 / t;
    } else {
        std::uint64_t acc = 0;
        std::uint64_t d = 0;
        for (int k = 0; k < 100; ++k) {
            acc += r;
            if (acc >= t) {
                acc -= t;
                ++d;
            }
        }
        share = q * 100 + d;
    }
    auto used_share = static_cast<std::int64_t>(share);
    std::int64_t free = (used < 0) != (total < 0) ? 100 + used_share : 100 - used_share;
    *where = static_cast<int>(
        std::clamp<std::int64_t>(free, std::numeric_limits<int>::min(), std::numeric_limits<int>::max()));
}

namespace {

void save_checked(int& figure, const char*& untrue, std::int64_t used, std::int64_t total)
{
    // used is what total leaves once the free amount is taken off: below 0 when more is
    // free than there is.
    untrue = total < 0      ? "a negative amount"
             : used < 0     ? "free above total"
             : used > total ? "used above total"
                            : nullptr;
    if (untrue)
        figure = -1;
    else
        get_free_save(&figure, used, total);
}

} // namespace

void save_ram(free_figures& f, std::int64_t used, std::int64_t total)
{
    save_checked(f.ram, f.ram_untrue, used, total);
}

void save_swap(free_figures& f, std::int64_t used, std::int64_t total)
{
    save_checked(f.swap, f.swap_untrue, used, total);
}

} // namespace dorv
