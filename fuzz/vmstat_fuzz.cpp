// The reader of "vmstat 1 2" over arbitrary output.
// Properties:
//  - the column offset is one of 3, 4, 5, 6;
//  - a load, when there is one, is the sum of two counts: never negative;
//  - only the first four lines count: output after them changes nothing;
//  - the sample line gives a load exactly when it holds at least 4 numbers and at least
//    as many as the offset reaches back.
#include <algorithm>
#include <string>
#include <vector>

#include "base/text_helpers.h"
#include "fuzz_check.h"
#include "probes/cpu.h"
#include "probes/numbers.h"

using namespace dorv;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);

    text_lines lines(text);
    std::optional<int> load = parse_vmstat(lines);
    if (load)
        FUZZ_CHECK(*load >= 0);

    // The lines as the reader sees them.
    std::vector<std::string> seen;
    text_lines again(text);
    for (std::string line; seen.size() < 5 && again.next(line);)
        seen.push_back(line);

    std::string header = seen.size() >= 2 ? seen[1] : seen.empty() ? "" : seen[0];
    int offset = vmstat_offset(chomp(header));
    FUZZ_CHECK(offset >= 3 && offset <= 6);

    std::string sample = seen.empty() ? "" : seen[std::min<std::size_t>(seen.size(), 4) - 1];
    int nums = static_cast<int>(parse_nums(chomp(sample)).size());
    FUZZ_CHECK(load.has_value() == (nums >= 4 && nums >= offset));

    if (seen.size() >= 4) {
        std::string first_four;
        for (int i = 0; i < 4; ++i) {
            const std::string& line = seen[static_cast<std::size_t>(i)];
            // A piece of an overlong line, or a line cut at a zero byte, would join the
            // text that follows it.
            if (line.empty() || line.back() != '\n')
                return 0;
            first_four += line;
        }
        std::string longer = first_four + " 9 9 9 9 9 9\nwa\n";
        text_lines cut(longer);
        FUZZ_CHECK(parse_vmstat(cut) == load);
    }
    return 0;
}
