// Throw-away directories and files.
#include "support/temp_dir.h"

#include <unistd.h>

#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <stdexcept>
#include <system_error>

namespace dorv_test {

namespace {

// Removes dir with everything in it.
void remove_tree(const std::string& dir)
{
    std::error_code ignored; // what cannot be removed stays; the test has its answer already
    std::filesystem::remove_all(dir, ignored);
}

} // namespace

std::string make_temp_dir()
{
    char tmpl[] = "/tmp/dorv-test-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

temp_dir::temp_dir() : dir_(make_temp_dir()) {}

temp_dir::temp_dir(std::string adopted) : dir_(std::move(adopted)) {}

temp_dir::~temp_dir()
{
    remove_tree(dir_);
}

temp_file::temp_file(const std::string& contents)
{
    char tmpl[] = "/tmp/dorv-file-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    ::close(fd);
    path_ = tmpl;
    std::ofstream(path_, std::ios::binary) << contents;
}

temp_file::~temp_file()
{
    ::unlink(path_.c_str());
}

} // namespace dorv_test
