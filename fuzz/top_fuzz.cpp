// The reader of top's summary lines over arbitrary text.
// Properties:
//  - a line that opens with none of "Mem:", "Swap:", "Memory:" changes no figure;
//    "Mem:" touches only the RAM figure, "Swap:" only the swap figure;
//  - a line sets a figure whatever the figure held before, or leaves it as it was, so the
//    last line that gives a figure decides it;
//  - a figure from a used amount between 0 and a positive total lies between 0 and 100.
#include <fuzzer/FuzzedDataProvider.h>

#include <string>

#include "config/config.h"
#include "fuzz_check.h"
#include "probes/memory.h"

using namespace dorv;

namespace {

free_figures parse(std::string_view text, free_figures start = {})
{
    text_lines lines(text);
    parse_top(lines, start);
    return start;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);
    free_figures all = parse(text);

    text_lines split(text);
    free_figures previous;
    for (std::string line; split.next(line);) {
        chomp(line);
        free_figures before = previous;
        parse_top_line(line, previous);
        bool mem = line.starts_with("Mem:"), swap = line.starts_with("Swap:"), memory = line.starts_with("Memory:");
        if (!mem && !memory)
            FUZZ_CHECK(previous.ram == before.ram);
        if (!swap && !memory)
            FUZZ_CHECK(previous.swap == before.swap);

        // A line sets a figure whatever it held before, or leaves it alone.
        free_figures one{1234, 5678}, other{-4321, -8765};
        parse_top_line(line, one);
        parse_top_line(line, other);
        FUZZ_CHECK(one.ram == other.ram || (one.ram == 1234 && other.ram == -4321));
        FUZZ_CHECK(one.swap == other.swap || (one.swap == 5678 && other.swap == -8765));
    }
    FUZZ_CHECK(all.ram == previous.ram && all.swap == previous.swap);

    FuzzedDataProvider in(data, size);
    std::int64_t total = in.ConsumeIntegralInRange<std::int64_t>(1, INT32_MAX);
    std::int64_t used = in.ConsumeIntegralInRange<std::int64_t>(0, total);
    int figure = -1;
    get_free_save(&figure, used, total);
    FUZZ_CHECK(figure >= 0 && figure <= 100);
    get_free_save(&figure, used, 0);
    FUZZ_CHECK(figure == 0);
    return 0;
}
