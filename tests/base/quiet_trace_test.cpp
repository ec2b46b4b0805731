// The unit tests print no trace lines: for the whole run the trace (standard error, which
// the children of command tests inherit) goes to /dev/null. GoogleTest reports on standard
// output, and a test that reads what was traced captures standard error itself.
#include <gtest/gtest.h>

#include "base/trace.h"

namespace {

class quiet_trace : public ::testing::Environment {
  public:
    void SetUp() override { dorv::trace_open("/dev/null"); }
};

[[maybe_unused]] const ::testing::Environment* const registered =
    ::testing::AddGlobalTestEnvironment(new quiet_trace);

} // namespace
