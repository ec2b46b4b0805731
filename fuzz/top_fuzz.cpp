// The reader of top's summary lines over arbitrary text.
// Properties:
//  - a line that holds neither "Mem" nor "Swap" changes nothing; without "Mem" it leaves
//    the RAM figure alone (unless a Linux "Mem" line before it waits for its "Swap" line),
//    and a line without "Swap" that does not begin with "Memory:" leaves the swap figure;
//  - a line sets a figure whatever the figure held before, or leaves it as it was, so the
//    last line that gives a figure decides it;
//  - get_free_save is exact: 100 - used * 100 / total, the division towards zero, held
//    within the int range, for every pair of 64-bit amounts; 0 for a total of 0.
#include <fuzzer/FuzzedDataProvider.h>

#include <algorithm>
#include <climits>
#include <string>

#include "base/text_helpers.h"
#include "fuzz_check.h"
#include "probes/memory.h"

using namespace dorv;

namespace {

__extension__ typedef __int128 wide;

int expected_figure(std::int64_t used, std::int64_t total)
{
    if (total == 0)
        return 0;
    wide free = 100 - wide{used} * 100 / total;
    return static_cast<int>(std::clamp<wide>(free, INT_MIN, INT_MAX));
}

void check_get_free_save(FuzzedDataProvider& in)
{
    std::int64_t used = in.ConsumeIntegral<std::int64_t>();
    std::int64_t total = in.ConsumeIntegral<std::int64_t>();
    // Small amounts too: the interesting figures lie between 0 and 100.
    if (in.ConsumeBool()) {
        used %= 100000;
        total %= 100000;
    }
    int figure = -12345;
    get_free_save(&figure, used, total);
    FUZZ_CHECK(figure == expected_figure(used, total));
    get_free_save(nullptr, used, total);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    text_lines split(text);
    for (std::string line; split.next(line);) {
        chomp(line);
        std::string_view c_line = std::string_view(line).substr(0, line.find('\0'));
        bool mem = c_line.find("Mem") != std::string_view::npos;
        bool swap = c_line.find("Swap") != std::string_view::npos;

        // A line sets a figure whatever it held before, or leaves it alone.
        free_figures one, other;
        one.ram = 1234, one.swap = 5678;
        other.ram = -4321, other.swap = -8765;
        parse_top_line(line, one);
        parse_top_line(line, other);
        FUZZ_CHECK(one.ram == other.ram || (one.ram == 1234 && other.ram == -4321));
        FUZZ_CHECK(one.swap == other.swap || (one.swap == 5678 && other.swap == -8765));
        FUZZ_CHECK(one.pending_mem.has_value() == other.pending_mem.has_value());

        if (!mem)
            FUZZ_CHECK(one.ram == 1234);
        if (!swap && !c_line.starts_with("Memory:"))
            FUZZ_CHECK(one.swap == 5678);
        if (!mem && !swap)
            FUZZ_CHECK(!one.pending_mem);
    }

    FuzzedDataProvider in(data, size);
    check_get_free_save(in);
    return 0;
}
