// The values of section "firewall": which client addresses a login admits. A value is a
// comma-separated list of items, each an IPv4 range A-B, a single address, a CIDR prefix
// or an IPv6 range. Parsing is pure: text in, result out.
#pragma once

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// The 32-bit value of a dotted IPv4 text, first octet on top, kept to its low 32 bits;
// 0 for absent text or text with fewer than three dots.
std::uint32_t get_ip_32bit(const char* ip);

// An address of either family; an IPv4 address sits in the last four bytes.
struct ip_address {
    bool v6 = false;
    std::array<std::uint8_t, 16> bytes{};
    bool operator==(const ip_address&) const = default;
};

struct firewall_item {
    enum form_t { range, single, prefix } form;
    ip_address low;         // first address admitted
    ip_address high;        // last address admitted
    int prefix_length = -1; // prefix only
    std::string text;       // the item as written, blanks around it removed
};

// A parsed value: the items, or the first item that could not be read.
struct firewall_value {
    std::vector<firewall_item> items;
    std::optional<std::string> unreadable;
};

firewall_value parse_firewall(std::string_view value);

// A client address: dotted IPv4 or IPv6 text (a "%zone" suffix ignored); an IPv4-mapped
// IPv6 address is its IPv4 address. Nothing for text that is not an address.
std::optional<ip_address> parse_client(std::string_view text);

bool item_admits(const firewall_item& item, const ip_address& client);
bool firewall_admits(const firewall_value& value, const ip_address& client);

// The usual text of an address ("10.0.0.5", "2001:db8::5").
std::string address_text(const ip_address& a);
// What an item admits, in words for an administrator.
std::string describe_item(const firewall_item& item);

} // namespace dorv
