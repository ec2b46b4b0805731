// Admission of the client address.
#include "dorv/session.h"

#include <gtest/gtest.h>

#include "config/config.h"
#include "support/capture.h"
#include "support/temp_dir.h"

using namespace dorv;
using dorv_test::exit_status_of;
using dorv_test::stderr_capture;
using dorv_test::temp_file;

namespace {

constexpr std::uint32_t ip(std::uint32_t a, std::uint32_t b, std::uint32_t c, std::uint32_t d)
{
    return a << 24 | b << 16 | c << 8 | d;
}

} // namespace

TEST(GetIp32bit, FourNumbersAfterThreeDotsFirstOnTop)
{
    struct row {
        const char* text;
        std::uint32_t value;
    };
    const row rows[] = {
        {"10.1.2.3", ip(10, 1, 2, 3)},
        {"255.255.255.255", 0xFFFFFFFFu},
        {"0.0.0.0", 0},
        {"10.0.0.300", ip(10, 0, 1, 44)},
        {"1.2.3.4:22", ip(1, 2, 3, 4)},
        {"1.2.3.4.5", ip(1, 2, 3, 4)},
        {"10.0.0.255 # office", ip(10, 0, 0, 255)},
        {" 10. 1.\t2.\n3", ip(10, 1, 2, 3)},
        {"+10.+1.+2.+3", ip(10, 1, 2, 3)},
        {"-1.0.0.0", 0xFF000000u},
        {"0.0.0.-1", 0xFFFFFFFFu},
        {"1.2.3.", ip(1, 2, 3, 0)},
        {"a.b.c.d", 0},
        {"10x.1y.2z.3w", ip(10, 1, 2, 3)},
        {"...", 0},
        // Huge numbers keep only what lands in the low 32 bits.
        {"4294967297.0.0.1", ip(1, 0, 0, 1)},
        {"99999999999999999999999.0.0.0", 0xFF000000u},
        {"0.0.0.99999999999999999999999", 0xF67FFFFFu},
        // Fewer than three dots.
        {"10.1.2", 0},
        {"myhost", 0},
        {"::1", 0},
        {"", 0},
    };
    for (const auto& r : rows)
        EXPECT_EQ(get_ip_32bit(r.text), r.value) << r.text;
    EXPECT_EQ(get_ip_32bit(nullptr), 0u);
}

namespace {

// Outcome of verify_ipaddress with the given [firewall] range for "alice".
struct admission {
    int status; // -1 when admitted
    std::string trace;
};

admission admit(const std::optional<std::string>& range, const std::optional<std::string>& address,
                const std::optional<std::string>& login = std::string("alice"))
{
    temp_file file(range ? "[agent]\nlog=/dev/null\n[firewall]\nbob=0.0.0.0-0.0.0.0\nalice=" + *range + "\n"
                         : "");
    std::string saved = g_config_path;
    g_config_path = file.path();
    admission a;
    stderr_capture capture;
    a.status = exit_status_of([&] { EXPECT_EQ(verify_ipaddress(address, login), 1); });
    a.trace = capture.text();
    g_config_path = saved;
    return a;
}

} // namespace

TEST(VerifyIpaddress, AdmitsWithinTheRangeBothBoundsIncluded)
{
    struct row {
        const char* range;
        const char* address;
        bool admitted;
    };
    const row rows[] = {
        {"10.0.0.0-10.255.255.255", "10.1.2.3", true},
        {"10.0.0.0-10.255.255.255", "10.0.0.0", true},
        {"10.0.0.0-10.255.255.255", "10.255.255.255", true},
        {"10.0.0.0-10.255.255.255", "9.255.255.255", false},
        {"10.0.0.0-10.255.255.255", "11.0.0.1", false},
        {"10.0.0.0-10.255.255.255", "::ffff:10.1.2.3", true},
        {"10.0.0.0 - 10.0.0.255", "10.0.0.255", true},
        {"10.0.0.0 - 10.0.0.255", "10.0.1.0", false},
        {"10.0.0.0-10.0.0.255 # office", "10.0.0.255", true},
        {"10.0.0.0-10.0.0.255 # office", "10.0.1.0", false},
        // The comparison is unsigned: addresses from 128.0.0.0 up are not below 0.0.0.0.
        {"0.0.0.0-255.255.255.255", "255.255.255.255", true},
        {"0.0.0.0-255.255.255.255", "128.0.0.1", true},
        {"0.0.0.0-255.255.255.255", "0.0.0.0", true},
        {"10.0.0.0-192.168.255.255", "172.16.0.1", true},
        {"10.0.0.0-192.168.255.255", "192.169.0.1", false},
        {"128.0.0.0-200.0.0.0", "127.255.255.255", false},
        {"128.0.0.0-200.0.0.0", "150.0.0.1", true},
        // A client that is no address matches nothing, also a range from 0.0.0.0; a bound
        // with fewer than three dots makes the range unreadable, which rejects everyone.
        {"10.0.0.0-10.255.255.255", "myhost", false},
        {"0.0.0.0-10.255.255.255", "myhost", false},
        {"10.0.0.0-10", "10.0.0.1", false},
        {"0.0.0.0-localhost", "10.0.0.1", false},
        {"0.0.0.0-localhost", "myhost", false},
    };
    for (const auto& r : rows) {
        admission a = admit(r.range, r.address);
        EXPECT_EQ(a.status, r.admitted ? -1 : exit_rejected_address) << r.range << " " << r.address;
        if (r.admitted) {
            EXPECT_EQ(a.trace, "") << r.range << " " << r.address;
        }
    }
}

TEST(VerifyIpaddress, RejectionNamesTheStrippedAddressAndTheWholeRange)
{
    admission a = admit("10.0.0.0 - 10.255.255.255", "::ffff:11.0.0.1");
    EXPECT_EQ(a.status, exit_rejected_address);
    EXPECT_EQ(a.trace, "Rejected IP address 11.0.0.1: not in allowed range 10.0.0.0 - 10.255.255.255\n");
}

TEST(VerifyIpaddress, AdmitsWithoutAnAddressOrAnEntryAndFailsClosedOtherwise)
{
    const std::string narrow = "10.0.0.0-10.0.0.1";
    EXPECT_EQ(admit(narrow, std::nullopt).status, -1);                     // no address
    EXPECT_EQ(admit(narrow, "11.0.0.1", std::string("carol")).status, -1); // no entry
    EXPECT_EQ(admit(std::nullopt, "11.0.0.1").status, -1);                 // empty file
    EXPECT_EQ(admit(std::nullopt, "11.0.0.1", std::nullopt).status, -1);   // no name, no entry
    // An unknown login while [firewall] holds entries, and addresses that are none.
    admission unknown = admit(narrow, "10.0.0.1", std::nullopt);
    EXPECT_EQ(unknown.status, exit_rejected_address);
    EXPECT_EQ(unknown.trace, "Rejected IP address 10.0.0.1: login name unknown\n");
    EXPECT_EQ(admit(narrow, "").status, exit_rejected_address);
    EXPECT_EQ(admit(narrow, "10.0.0.1:").status, exit_rejected_address);
    EXPECT_EQ(admit(narrow, "fe80::").status, exit_rejected_address); // IPv6 meets no IPv4 item
    // Each login name is held to its own range (bob's is 0.0.0.0-0.0.0.0).
    EXPECT_EQ(admit("0.0.0.0-255.255.255.255", "11.0.0.1", std::string("bob")).status, exit_rejected_address);
}

TEST(VerifyIpaddress, StarEntryServesLoginsWithoutTheirOwn)
{
    temp_file file("[firewall]\n*=10.0.0.0/8\nbob=192.168.0.0/16\n");
    std::string saved = g_config_path;
    g_config_path = file.path();
    stderr_capture capture;
    EXPECT_EQ(exit_status_of([] { verify_ipaddress("10.9.9.9", "carol"); }), -1);
    EXPECT_EQ(exit_status_of([] { verify_ipaddress("192.168.1.1", "carol"); }), exit_rejected_address);
    EXPECT_EQ(exit_status_of([] { verify_ipaddress("192.168.1.1", "bob"); }), -1);
    EXPECT_EQ(exit_status_of([] { verify_ipaddress("10.9.9.9", "bob"); }), exit_rejected_address);
    g_config_path = saved;
}

TEST(VerifyIpaddress, UnreadableValueRejectsWithALineNamingLoginAndValue)
{
    for (const std::string value : {"", "10.0.0.0/33", "300.1.1.1", "10.0.0.0/8,,", "l0.0.0.0-10.0.0.255"}) {
        admission a = admit(value, "10.0.0.1");
        EXPECT_EQ(a.status, exit_rejected_address) << value;
        EXPECT_EQ(a.trace, "Cannot read the firewall value for user alice: " + value +
                               "\nRejected IP address 10.0.0.1: not in allowed range " + value + "\n");
    }
    // A value with a line end in it cannot forge a trace line.
    admission a = admit("10.0.0.0-10.0.0.1", "11.0.0.1\nAccepted new connection");
    EXPECT_EQ(a.trace, "Rejected IP address 11.0.0.1\\nAccepted new connection: not in allowed range "
                       "10.0.0.0-10.0.0.1\n");
}
