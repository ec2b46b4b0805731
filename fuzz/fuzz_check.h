// Shared by the fuzz targets: property checks that stop the fuzzer with a message, and
// a way to send the agent's trace elsewhere while its code runs.
#pragma once

#include <sanitizer/common_interface_defs.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <initializer_list>
#include <string>

#include "base/exit_causes.h"
#include "protocol/limits.h"
#include "support/temp_dir.h"

// A broken property aborts, so that libFuzzer saves the input that broke it.
#define FUZZ_CHECK(cond)                                                                                     \
    do {                                                                                                     \
        if (!(cond)) {                                                                                       \
            std::fprintf(stderr, "%s:%d: property failed: %s\n", __FILE__, __LINE__, #cond);                 \
            std::abort();                                                                                    \
        }                                                                                                    \
    } while (0)

// An end of the agent is allowed only with one of the given statuses.
inline void expect_status(const dorv::exit_request& e, std::initializer_list<int> allowed)
{
    for (int s : allowed)
        if (e.status == s)
            return;
    std::fprintf(stderr, "agent ended with status %d, not an allowed one\n", e.status);
    std::abort();
}

// Points standard error (the agent's trace) at fd while it lives. Sanitizer reports keep
// going to the fuzzer's own standard error (call keep_reports() once at start-up).
class trace_to {
  public:
    explicit trace_to(int fd) : saved_(::dup(STDERR_FILENO)) { ::dup2(fd, STDERR_FILENO); }
    ~trace_to()
    {
        ::dup2(saved_, STDERR_FILENO);
        ::close(saved_);
    }
    trace_to(const trace_to&) = delete;
    trace_to& operator=(const trace_to&) = delete;

  private:
    int saved_;
};

inline void keep_reports()
{
    int fd = ::dup(STDERR_FILENO);
    __sanitizer_set_report_fd(reinterpret_cast<void*>(static_cast<std::intptr_t>(fd)));
}

// A fresh directory under /tmp for the target's files, removed when the fuzzer exits.
inline const std::string& scratch_dir()
{
    static const dorv_test::temp_dir dir;
    return dir.dir();
}
