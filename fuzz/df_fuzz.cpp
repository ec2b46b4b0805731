// The reader of df output over arbitrary text.
// Properties:
//  - a line is listed exactly when its first '%' follows a digit; its mount point is the
//    rest of the line after that '%' and the spaces after it;
//  - the list keeps at most disks_max - 1 mount points, and cutting it changes no capacity;
//  - the capacity of a mount point comes from the last line listing it alone: that line by
//    itself gives the same figure; a mount point nobody lists, or none asked for, gives 0.
#include <string>
#include <vector>

#include "base/text_helpers.h"
#include "fuzz_check.h"
#include "probes/disk.h"

using namespace dorv;

namespace {

disk_list parse(std::string_view text, const std::optional<std::string>& free, int disks_max = max_entries)
{
    text_lines lines(text);
    return parse_df(lines, free, disks_max);
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);

    disk_list all = parse(text, std::nullopt);
    FUZZ_CHECK(all.capacity == 0);

    std::vector<std::string> listed_lines; // chomped, as the reader sees them
    std::vector<std::string> listed_raw;   // as read, line end included
    text_lines split(text);
    for (std::string raw; split.next(raw);) {
        std::string line = raw;
        chomp(line);
        std::size_t percent = line.find('%');
        if (percent != std::string::npos && percent > 0 && line[percent - 1] >= '0' &&
            line[percent - 1] <= '9') {
            listed_lines.push_back(line);
            listed_raw.push_back(raw);
        }
    }
    FUZZ_CHECK(all.mounts.size() == listed_lines.size());
    for (std::size_t i = 0; i < all.mounts.size(); ++i) {
        const std::string& line = listed_lines[i];
        std::size_t start = line.find_first_not_of(' ', line.find('%') + 1);
        FUZZ_CHECK(all.mounts[i] == (start == std::string::npos ? "" : line.substr(start)));
    }

    FUZZ_CHECK(parse(text, std::string("\n")).capacity == 0); // no mount point holds a line feed
    if (all.mounts.empty())
        return 0;
    for (const std::string& mount : {all.mounts.front(), all.mounts.back()}) {
        disk_list full = parse(text, mount);
        disk_list cut = parse(text, mount, 2);
        FUZZ_CHECK(cut.mounts.size() == 1);
        FUZZ_CHECK(cut.capacity == full.capacity);
        std::size_t last = listed_lines.size();
        while (all.mounts[last - 1] != mount)
            --last;
        FUZZ_CHECK(parse(listed_raw[last - 1], mount).capacity == full.capacity);
    }
    return 0;
}
