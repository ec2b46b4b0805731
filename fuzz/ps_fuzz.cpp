// The reader of ps output over arbitrary text.
// Properties:
//  - the first line is the header and never counts;
//  - only lines of the users "root" and "dorv" are kept; a kept text holds no line feed,
//    does not end in a blank, and lies within its line's command;
//  - the empty name matches every kept process, no name counts nothing, and the name of a
//    kept text counts exactly the kept texts that begin with it;
//  - the list keeps at most commands_max - 1 texts, and cutting it changes no count.
#include <fcntl.h>

#include <string>
#include <vector>

#include "base/text_helpers.h"
#include "fuzz_check.h"
#include "probes/processes.h"

using namespace dorv;

namespace {

int dev_null = -1;

int parse(std::string_view text, std::vector<std::string>& commands,
          const std::optional<std::string>& running, int commands_max = max_entries)
{
    trace_to nowhere(dev_null);
    text_lines lines(text);
    return parse_ps(lines, commands, commands_max, running);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    keep_reports();
    dev_null = ::open("/dev/null", O_WRONLY | O_CLOEXEC);
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string_view text(reinterpret_cast<const char*>(data), size);

    std::vector<std::string> kept;
    FUZZ_CHECK(parse(text, kept, std::nullopt) == 0);

    // Every line after the first, split as the reader splits it.
    std::vector<process_line> qualifying;
    text_lines split(text);
    std::string line;
    split.next(line);
    while (split.next(line)) {
        std::optional<process_line> p = parse_process_line(chomp(line));
        if (!p)
            continue;
        FUZZ_CHECK(p->user == "root" || p->user == "dorv");
        FUZZ_CHECK(line.find(p->command) != std::string::npos);
        FUZZ_CHECK(p->command.find(p->kept) != std::string::npos);
        FUZZ_CHECK(p->kept.empty() || p->kept.back() != ' ');
        FUZZ_CHECK(p->kept.find('\n') == std::string::npos);
        qualifying.push_back(*p);
    }
    FUZZ_CHECK(kept.size() == qualifying.size());
    for (std::size_t i = 0; i < kept.size(); ++i)
        FUZZ_CHECK(kept[i] == qualifying[i].kept);

    std::vector<std::string> again;
    FUZZ_CHECK(parse(text, again, std::string()) == static_cast<int>(kept.size()));
    if (kept.empty())
        return 0;
    for (const std::string& name :
         {kept.front(), kept.back(), kept.back().substr(0, kept.back().size() / 2)}) {
        int expected = 0;
        for (const auto& k : kept)
            expected += k.starts_with(name);
        std::vector<std::string> full, cut;
        FUZZ_CHECK(parse(text, full, name) == expected);
        FUZZ_CHECK(parse(text, cut, name, 2) == expected);
        FUZZ_CHECK(cut.size() == 1);
    }
    return 0;
}
