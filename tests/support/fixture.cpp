// Whole files and fixtures.
#include "support/fixture.h"

#include <fstream>
#include <sstream>
#include <stdexcept>

namespace dorv_test {

std::string read_file(const std::string& path)
{
    std::ifstream in(path, std::ios::binary);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

std::string fixture_path(const std::string& name)
{
    return std::string(DORV_FIXTURES) + "/" + name;
}

std::string fixture(const std::string& name)
{
    std::ifstream in(fixture_path(name), std::ios::binary);
    if (!in)
        throw std::runtime_error("missing fixture " + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

} // namespace dorv_test
