// The configuration reader over arbitrary file contents.
// The input is the file; a section "[fz]" with the entry "k=v" is appended after it.
// Properties:
//  - whatever comes before it, the appended entry is found: garbage, zero bytes or
//    overlong lines never derail the reader (unless the input opens a section "fz" of
//    its own, whose entry may then come first);
//  - every value found is the text after "key=" on some line of the file, holds no line
//    feed, and a lookup that finds nothing gives the default;
//  - a lookup never ends the agent.
#include <fuzzer/FuzzedDataProvider.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <string>

#include "config/config.h"
#include "fuzz_check.h"

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
    return 0;
}
