// Reading a mount table.
#include "probes/mount_types.h"

#include <vector>

#include "base/text_helpers.h"

namespace dorv {

namespace {

// A field of the table with its octal escapes (\NNN) turned back into their bytes.
std::string unescaped(std::string_view field)
{
    std::string out;
    for (std::size_t i = 0; i < field.size(); ++i) {
        auto octal = [&](std::size_t k) { return field[k] >= '0' && field[k] <= '7'; };
        if (field[i] == '\\' && i + 3 < field.size() && octal(i + 1) && octal(i + 2) && octal(i + 3)) {
            out += static_cast<char>(((field[i + 1] - '0') << 6) | ((field[i + 2] - '0') << 3) |
                                     (field[i + 3] - '0'));
            i += 3;
        } else {
            out += field[i];
        }
    }
    return out;
}

} // namespace

std::map<std::string, std::string> parse_mount_table(std::string_view text)
{
    std::map<std::string, std::string> types;
    while (!text.empty()) {
        std::size_t end = text.find('\n');
        std::string_view line = text.substr(0, end);
        text = end == std::string_view::npos ? std::string_view() : text.substr(end + 1);
        std::vector<std::string_view> fields = pieces(line, ' ', 3);
        if (fields.size() == 3)
            types[unescaped(fields[1])] = unescaped(fields[2]);
    }
    return types;
}

} // namespace dorv
