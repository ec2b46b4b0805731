// Test support for the probes: captured command output and fake commands first on PATH.
#pragma once

#include <sys/stat.h>
#include <unistd.h>

#include <cstdlib>
#include <fstream>
#include <sstream>
#include <stdexcept>
#include <string>

#include "test_support.h"

namespace probe_test {

inline std::string fixture(const std::string& name)
{
    std::ifstream in(std::string(DORV_FIXTURES) + "/" + name, std::ios::binary);
    if (!in)
        throw std::runtime_error("missing fixture " + name);
    std::stringstream ss;
    ss << in.rdbuf();
    return ss.str();
}

inline std::string temp_dir()
{
    char tmpl[] = "/tmp/dorv-probe-XXXXXX";
    if (!::mkdtemp(tmpl))
        throw std::runtime_error("mkdtemp failed");
    return tmpl;
}

// A directory of shell scripts put first on PATH for the life of the object; the probes
// start their commands through /bin/sh, which finds the scripts there.
class fake_commands {
  public:
    fake_commands() : dir_(temp_dir())
    {
        const char* p = std::getenv("PATH");
        old_path_ = p ? p : "/usr/bin:/bin";
        ::setenv("PATH", (dir_ + ":" + old_path_).c_str(), 1);
    }
    ~fake_commands()
    {
        ::setenv("PATH", old_path_.c_str(), 1);
        std::string cmd = "rm -rf '" + dir_ + "'";
        if (std::system(cmd.c_str()) != 0) {
        }
    }
    fake_commands(const fake_commands&) = delete;
    fake_commands& operator=(const fake_commands&) = delete;

    // A command that prints text and records its arguments in <dir>/<name>.args.
    void printing(const std::string& name, const std::string& text)
    {
        std::string data = dir_ + "/" + name + ".out";
        std::ofstream(data, std::ios::binary) << text;
        script(name, "echo \"$*\" > '" + dir_ + "/" + name + ".args'\ncat '" + data + "'\n");
    }
    void script(const std::string& name, const std::string& body)
    {
        std::string path = dir_ + "/" + name;
        std::ofstream(path) << "#!/bin/sh\n" << body;
        ::chmod(path.c_str(), 0755);
    }
    std::string args_of(const std::string& name) const
    {
        std::ifstream in(dir_ + "/" + name + ".args");
        std::string line;
        std::getline(in, line);
        return line;
    }
    const std::string& dir() const { return dir_; }

  private:
    std::string dir_;
    std::string old_path_;
};

using dorv_test::stderr_capture;

} // namespace probe_test
