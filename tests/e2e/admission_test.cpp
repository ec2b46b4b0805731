// Admission by the firewall values of the shipped agent's own /etc/dorv/dorv.ini.
#include <gtest/gtest.h>

#include <optional>

#include "e2e/agent_harness.h"

using namespace dorv_test;

namespace {

const std::string me = user_name();

} // namespace

TEST(Admission, EachFirewallFormThroughTheRealConfigurationPath)
{
    if (!shipped_agent("", ""))
        GTEST_SKIP() << "a private mount namespace needs root and unshare -m";
    struct row {
        std::string firewall; // the lines of [firewall]
        std::string client;
        std::optional<std::string> rejected_as; // the address in the rejection line
    };
    const std::string own = me + "=";
    const row rows[] = {
        {own + "10.0.0.5", "10.0.0.5", std::nullopt},
        {own + "10.0.0.5", "10.0.0.6", "10.0.0.6"},
        {own + "10.0.0.0/8", "::ffff:10.255.255.255", std::nullopt},
        {own + "10.0.0.0/8", "::ffff:11.0.0.0", "11.0.0.0"},
        {own + "2001:db8::/32", "2001:db8:ffff::1", std::nullopt},
        {own + "2001:db8::/32", "2001:db9::", "2001:db9::"},
        {own + "2001:db8::10-2001:db8::20", "2001:db8::20", std::nullopt},
        {own + "2001:db8::10-2001:db8::20", "2001:db8::21", "2001:db8::21"},
        {own + "10.0.0.0 - 10.0.0.255", "10.0.0.255", std::nullopt},
        {own + "10.0.0.0 - 10.0.0.255", "10.0.1.0", "10.0.1.0"},
        {own + "0.0.0.0-10.0.0.0", "::1", "::1"},
        {own + "10.0.0.5, 2001:db8::/32", "2001:db8::7", std::nullopt},
        // The "*" entry serves logins without their own; a login's own entry wins over it.
        {"*=10.0.0.0/8", "10.1.1.1", std::nullopt},
        {"*=10.0.0.0/8", "11.1.1.1", "11.1.1.1"},
        {"*=10.0.0.0/8\n" + own + "11.0.0.0/8", "11.1.1.1", std::nullopt},
        {"*=10.0.0.0/8\n" + own + "11.0.0.0/8", "10.1.1.1", "10.1.1.1"},
        // Values that cannot be read reject everyone.
        {own, "10.0.0.1", "10.0.0.1"},
        {own + "10.0.0.0/33", "10.0.0.1", "10.0.0.1"},
        {own + "10.0.0.0/8, typo", "10.0.0.1", "10.0.0.1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.firewall + " / " + r.client);
        agent a(*shipped_agent("[firewall]\n" + r.firewall + "\n", r.client + " 40000 22"));
        if (a.login().empty() && a.wait() == 125)
            GTEST_SKIP() << "no mount on /etc/dorv possible in the namespace";
        if (!r.rejected_as) {
            EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
            EXPECT_TRUE(a.trace().starts_with("\nAccepted new connection for user " + me + " from IP " +
                                              r.client + "\n"))
                << a.trace();
            a.close_input();
            EXPECT_EQ(a.wait(), 0);
            continue;
        }
        EXPECT_EQ(a.login(), "");
        EXPECT_EQ(a.wait(), 1);
        const std::string line = r.firewall.substr(r.firewall.rfind('\n') + 1);
        const std::string value = line.substr(line.find('=') + 1);
        std::string expected =
            "\nRejected IP address " + *r.rejected_as + ": not in allowed range " + value + "\n";
        if (value.empty() || value.find("/33") != std::string::npos ||
            value.find("typo") != std::string::npos)
            expected = "\nCannot read the firewall value for user " + me + ": " + value + expected;
        EXPECT_EQ(a.trace(), expected);
    }
}
