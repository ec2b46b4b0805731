// The configuration reader over arbitrary file contents.
// The input is the file; a section "[fz]" with the entry "k=v" is appended after it.
// Properties:
//  - whatever comes before it, the appended entry is found: garbage, zero bytes or
//    overlong lines never derail the reader (unless the input opens a section "fz" of
//    its own, whose entry may then come first);
//  - every value found is the text after "key=" on some line of the file, holds no line
//    feed, and a lookup that finds nothing gives the default;
//  - a lookup never ends the agent;
//  - the check sections read from the same text make checks with valid, distinct names;
//    a check without problems has an absolute program, a description and parameter names
//    that can travel, at most one list, and values that never add or split a word.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "checks/built_in.h"
#include "checks/check_section.h"
#include "config/config.h"
#include "fuzz_check.h"
#include "protocol/packet.h"

using namespace dorv;

namespace {

// Cannot be a value: values never hold a line feed.
const std::string no_value = "\n(none)";

void check_lookup(const std::string& file, const std::string& section, const std::string& key)
{
    std::optional<std::string> got = dorv_config(section, key, no_value);
    FUZZ_CHECK(got.has_value());
    if (*got == no_value)
        return;
    FUZZ_CHECK(got->find('\n') == std::string::npos);
    FUZZ_CHECK(file.find(key + "=" + *got) != std::string::npos);
}

void check_good_check(const configured_check& c)
{
    FUZZ_CHECK(!c.command.empty() && !c.command[0].empty() && c.command[0][0].param < 0);
    FUZZ_CHECK(c.command[0][0].text[0] == '/');
    FUZZ_CHECK(!c.description.empty() && can_travel(c.description));
    int lists = 0;
    std::vector<std::string> values;
    for (const auto& p : c.params) {
        lists += p.kind != param_kind::number;
        FUZZ_CHECK(!p.name.empty() && can_travel(p.name) && p.name.find('=') == std::string::npos);
        values.push_back(" a b ");
    }
    FUZZ_CHECK(lists <= 1);
    FUZZ_CHECK(expand_command(c.command, values).size() == c.command.size());
}

void check_sections(const std::string& file)
{
    check_reader reader;
    reader.begin_file("dorv.ini", false);
    scan_config(file, [&](const config_line& l) {
        reader.line(l);
        return true;
    });
    reader.end_file();
    for (std::size_t i = 0; i < reader.checks.size(); ++i) {
        const configured_check& c = reader.checks[i];
        FUZZ_CHECK(valid_check_name(c.name));
        for (const check_t* row = checks; row->name; ++row)
            FUZZ_CHECK(c.name != row->name);
        for (std::size_t j = 0; j < i; ++j)
            FUZZ_CHECK(reader.checks[j].name != c.name);
        if (c.problems.empty())
            check_good_check(c);
    }
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    g_config_path = scratch_dir() + "/dorv.ini";
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::string file = input + "\n[fz]\nk=v\n";
    std::ofstream(g_config_path, std::ios::binary | std::ios::trunc) << file;

    if (input.find("fz]") == std::string::npos) {
        std::optional<std::string> v = dorv_config("fz", "k", std::nullopt);
        FUZZ_CHECK(v && *v == "v");
    }
    check_lookup(file, "agent", "log");
    check_lookup(file, "firewall", "root");
    check_lookup(file, "", "log");
    // A section and key taken from the input itself.
    FuzzedDataProvider in(data, size);
    std::string section = in.ConsumeRandomLengthString(32);
    std::string key = in.ConsumeRandomLengthString(32);
    check_lookup(file, section, key);
    FUZZ_CHECK(!dorv_config("no such section\n", "k", std::nullopt));
    check_sections(file);
    return 0;
}
