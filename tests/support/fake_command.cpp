// Fake commands and PATH.
#include "support/fake_command.h"

#include <sys/stat.h>

#include <cstdlib>
#include <fstream>

namespace dorv_test {

namespace {

const char* test_path()
{
    const char* p = std::getenv("PATH");
    return p ? p : "/usr/bin:/bin";
}

} // namespace

void write_script(const std::string& path, const std::string& body)
{
    std::ofstream(path) << "#!/bin/sh\n" << body;
    ::chmod(path.c_str(), 0755);
}

void printing_command(const std::string& dir, const std::string& name, const std::string& text,
                      const std::string& first)
{
    const std::string out = dir + "/" + name + ".out";
    std::ofstream(out, std::ios::binary) << text;
    write_script(dir + "/" + name, first + "cat '" + out + "'\n");
}

std::string prefixed_path(const std::vector<std::string>& prefix)
{
    std::string path;
    for (const auto& p : prefix)
        path += p + ":";
    return path + test_path();
}

fake_commands::fake_commands(first_on_path_t) : old_path_(test_path())
{
    ::setenv("PATH", (dir() + ":" + *old_path_).c_str(), 1);
}

fake_commands::~fake_commands()
{
    if (old_path_)
        ::setenv("PATH", old_path_->c_str(), 1);
}

void fake_commands::script(const std::string& name, const std::string& body) const
{
    write_script(path(name), body);
}

void fake_commands::printing(const std::string& name, const std::string& text) const
{
    printing_command(dir(), name, text, "echo \"$*\" > '" + path(name + ".args") + "'\n");
}

std::string fake_commands::args_of(const std::string& name) const
{
    std::ifstream in(path(name + ".args"));
    std::string line;
    std::getline(in, line);
    return line;
}

} // namespace dorv_test
