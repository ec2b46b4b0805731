// The agent's session, end to end.
#include <gtest/gtest.h>

#include "e2e/agent_harness.h"

using namespace dorv_test;

TEST(Session, LoginThenEndOfInputEndsWithZero)
{
    agent a;
    EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
    EXPECT_NE(a.trace().find("Accepted new connection for user root from IP 127.0.0.1\n"), std::string::npos);
}
