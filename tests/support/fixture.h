// Reading files in the tests: whole files, and the captured command output kept under
// tests/fixtures (df, ps, top and vmstat of real hosts).
#pragma once

#include <string>

namespace dorv_test {

// The whole text of a file ("" when it cannot be read).
std::string read_file(const std::string& path);

// The path of tests/fixtures/<name>, "top/freebsd-example.txt" say.
std::string fixture_path(const std::string& name);

// The text of tests/fixtures/<name>; throws when the file is missing.
std::string fixture(const std::string& name);

} // namespace dorv_test
