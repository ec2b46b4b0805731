// Standard error captured in a file.
#include "support/capture.h"

#include <unistd.h>

#include <cstdlib>
#include <stdexcept>

#include "support/fixture.h"

namespace dorv_test {

stderr_capture::stderr_capture()
{
    char tmpl[] = "/tmp/dorv-trace-XXXXXX";
    int fd = ::mkstemp(tmpl);
    if (fd < 0)
        throw std::runtime_error("mkstemp failed");
    path_ = tmpl;
    saved_ = ::dup(STDERR_FILENO);
    ::dup2(fd, STDERR_FILENO);
    ::close(fd);
}

stderr_capture::~stderr_capture()
{
    ::dup2(saved_, STDERR_FILENO);
    ::close(saved_);
    ::unlink(path_.c_str());
}

std::string stderr_capture::text() const
{
    return read_file(path_);
}

} // namespace dorv_test
