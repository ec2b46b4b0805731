// Firewall values: every form of item, with clients just inside and just outside.
#include "dorv/firewall.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

bool admits(const std::string& value, const std::string& client)
{
    firewall_value v = parse_firewall(value);
    EXPECT_FALSE(v.unreadable) << value;
    std::optional<ip_address> c = parse_client(client);
    return c && firewall_admits(v, *c);
}

} // namespace

TEST(Firewall, EachFormAdmitsItsAddressesAndNoOthers)
{
    struct row {
        const char* value;
        std::vector<const char*> inside, outside;
    };
    const row rows[] = {
        // IPv4 ranges, read as they always were.
        {"10.0.0.0-10.255.255.255",
         {"10.0.0.0", "10.255.255.255", "::ffff:10.1.2.3"},
         {"9.255.255.255", "11.0.0.0", "::ffff:11.0.0.1", "::a00:1", "myhost", ""}},
        {"10.0.0.0 - 10.0.0.255", {"10.0.0.255"}, {"10.0.1.0"}},
        {"10.0.0.0-10.0.0.255 # office", {"10.0.0.255"}, {"10.0.1.0"}},
        {"10.0.0.0-10.0.0.300", {"10.0.1.44"}, {"10.0.1.45"}},
        {"10.0.0.0-10.0.0.255:22", {"10.0.0.255"}, {"10.0.1.0"}},
        {"0.0.0.0-255.255.255.255",
         {"0.0.0.0", "255.255.255.255", "::ffff:1.2.3.4"},
         {"::1", "2001:db8::1", "::"}},
        {"10.0.0.0-192.168.255.255", {"172.16.0.1"}, {"192.169.0.1"}},
        {"200.0.0.0-100.0.0.0", {}, {"150.0.0.1", "200.0.0.0"}},
        // Single addresses.
        {"10.0.0.5", {"10.0.0.5", "::ffff:10.0.0.5"}, {"10.0.0.4", "10.0.0.6", "::10.0.0.5"}},
        {"2001:db8::5",
         {"2001:db8::5", "2001:DB8:0:0:0:0:0:5", "2001:db8::5%eth0"},
         {"2001:db8::4", "2001:db8::6"}},
        // Prefixes; bits beyond the prefix length do not matter.
        {"10.0.0.0/8", {"10.0.0.0", "10.255.255.255"}, {"9.255.255.255", "11.0.0.0"}},
        {"10.1.2.3/24", {"10.1.2.0", "10.1.2.255"}, {"10.1.1.255", "10.1.3.0"}},
        {"0.0.0.0/0", {"0.0.0.0", "255.255.255.255"}, {"::1"}},
        {"10.0.0.5/32", {"10.0.0.5"}, {"10.0.0.4", "10.0.0.6"}},
        {"2001:db8::/32",
         {"2001:db8::", "2001:db8:ffff:ffff:ffff:ffff:ffff:ffff"},
         {"2001:db7:ffff:ffff:ffff:ffff:ffff:ffff", "2001:db9::", "::ffff:10.0.0.1"}},
        {"::/0", {"::", "::1", "ffff:ffff:ffff:ffff:ffff:ffff:ffff:ffff"}, {"10.0.0.1", "::ffff:10.0.0.1"}},
        {"2001:db8::/127", {"2001:db8::", "2001:db8::1"}, {"2001:db8::2"}},
        // IPv6 ranges.
        {"2001:db8::10-2001:db8::20", {"2001:db8::10", "2001:db8::20"}, {"2001:db8::f", "2001:db8::21"}},
        {"2001:db8::10 - 2001:db8::20", {"2001:db8::15"}, {"2001:db8::21"}},
        // Lists: any item admits.
        {"10.0.0.5, 192.168.0.0/16 ,2001:db8::/32",
         {"10.0.0.5", "192.168.255.255", "2001:db8::1"},
         {"10.0.0.6", "192.169.0.0", "2001:db9::"}},
        {" 10.0.0.5 ", {"10.0.0.5"}, {"10.0.0.6"}},
    };
    for (const auto& r : rows) {
        for (const char* c : r.inside)
            EXPECT_TRUE(admits(r.value, c)) << r.value << " should admit " << c;
        for (const char* c : r.outside)
            EXPECT_FALSE(admits(r.value, c)) << r.value << " should not admit " << c;
    }
}

TEST(Firewall, ValuesThatAreNoneOfTheFormsCannotBeRead)
{
    struct row {
        const char* value;
        const char* unreadable; // the item named
    };
    const row rows[] = {
        {"", ""},
        {"   ", ""},
        {"10.0.0.0/33", "10.0.0.0/33"},
        {"2001:db8::/129", "2001:db8::/129"},
        {"10.0.0.0/", "10.0.0.0/"},
        {"10.0.0.0/8x", "10.0.0.0/8x"},
        {"300.1.1.1", "300.1.1.1"},
        {"10.0.0", "10.0.0"},
        {"10.0.0.O", "10.0.0.O"},
        {"myhost", "myhost"},
        {"10.0.0.0-10", "10.0.0.0-10"},
        {"10.0.0.0-10.0.0.x", "10.0.0.0-10.0.0.x"},
        {"-10.0.0.1", "-10.0.0.1"},
        {"2001:db8::1-10.0.0.1", "2001:db8::1-10.0.0.1"},
        {"2001:db8::1-2001:db8::g", "2001:db8::1-2001:db8::g"},
        {"2001:db8:::1", "2001:db8:::1"},
        {"10.0.0.5,", ""},
        {"10.0.0.5,,10.0.0.6", ""},
        {"10.0.0.5, typo", "typo"},
        {"10.0.0.0/8 2001:db8::/32", "10.0.0.0/8 2001:db8::/32"},
    };
    for (const auto& r : rows) {
        firewall_value v = parse_firewall(r.value);
        ASSERT_TRUE(v.unreadable) << r.value;
        EXPECT_EQ(*v.unreadable, r.unreadable) << r.value;
        EXPECT_TRUE(v.items.empty()) << r.value;
    }
}

TEST(Firewall, ClientAddressesAndTheirText)
{
    struct row {
        const char* client;
        std::optional<std::string> text; // nothing: not an address
    };
    const row rows[] = {
        {"10.1.2.3", "10.1.2.3"},
        {"::ffff:10.1.2.3", "10.1.2.3"},
        {"::FFFF:a01:203", "10.1.2.3"},
        {"::1", "::1"},
        {"fe80::1%eth0", "fe80::1"},
        {"2001:0db8:0000::0001", "2001:db8::1"},
        {"10.1.2.3:22", std::nullopt},
        {"10.1.2", std::nullopt},
        {"10.0.0.300", std::nullopt},
        {"myhost", std::nullopt},
        {"", std::nullopt},
    };
    for (const auto& r : rows) {
        std::optional<ip_address> a = parse_client(r.client);
        ASSERT_EQ(a.has_value(), r.text.has_value()) << r.client;
        if (a) {
            EXPECT_EQ(address_text(*a), *r.text) << r.client;
        }
    }
}
