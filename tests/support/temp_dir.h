// Throw-away directories and files under /tmp for the tests, each removed with what it
// holds at the end of its owner's life.
#pragma once

#include <string>

namespace dorv_test {

// Makes a fresh directory under /tmp; the caller removes it (see temp_dir).
std::string make_temp_dir();

// A directory of the test's own, removed with its contents at the end of its life.
class temp_dir {
  public:
    temp_dir();
    // Takes over a directory made elsewhere (config_dir, say).
    explicit temp_dir(std::string adopted);
    ~temp_dir();
    temp_dir(const temp_dir&) = delete;
    temp_dir& operator=(const temp_dir&) = delete;

    const std::string& dir() const { return dir_; }
    // dir() + "/" + name.
    std::string path(const std::string& name) const { return dir_ + "/" + name; }

  private:
    std::string dir_;
};

// A temporary file holding the given bytes, removed again at the end of its life.
class temp_file {
  public:
    explicit temp_file(const std::string& contents);
    ~temp_file();
    temp_file(const temp_file&) = delete;
    temp_file& operator=(const temp_file&) = delete;

    const std::string& path() const { return path_; }

  private:
    std::string path_;
};

} // namespace dorv_test
