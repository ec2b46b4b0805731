// Firewall values and client addresses over arbitrary text.
// The first line of the input is a firewall value, every further line a client address.
// Properties:
//  - an address admitted by an item lies within it, judged from the item's own text: a
//    single address is that address, a prefix shares its leading bits with the network,
//    an IPv4 range holds it between the values get_ip_32bit gives its bounds, an IPv6
//    range between its bounds;
//  - an item admits its first and last address (when the first is not above the last)
//    and neither of their neighbours outside it;
//  - a value that cannot be read has no items; an item never holds a comma.
#include <arpa/inet.h>

#include <cstring>
#include <string>
#include <vector>

#include "dorv/firewall.h"
#include "fuzz_check.h"

using namespace dorv;

namespace {

std::string trimmed(std::string s)
{
    s.erase(0, s.find_first_not_of(" \t"));
    s.erase(s.find_last_not_of(" \t") + 1);
    return s;
}

// The 16 bytes of an address text read on its own, IPv4 in the last four.
bool bytes_of(const std::string& text, bool v6, std::uint8_t out[16])
{
    std::memset(out, 0, 16);
    return ::inet_pton(v6 ? AF_INET6 : AF_INET, text.c_str(), v6 ? out : out + 12) == 1;
}

std::uint32_t u32_of(const ip_address& a)
{
    return std::uint32_t{a.bytes[12]} << 24 | std::uint32_t{a.bytes[13]} << 16 |
           std::uint32_t{a.bytes[14]} << 8 | a.bytes[15];
}

bool within(const firewall_item& item, const ip_address& c)
{
    // A range is IPv6 when its lower bound is: the IPv4 upper bound may trail anything.
    const std::string family_text =
        item.form == firewall_item::range ? item.text.substr(0, item.text.find('-')) : item.text;
    const bool v6 = family_text.find(':') != std::string::npos;
    if (c.v6 != v6)
        return false;
    std::uint8_t a[16], b[16];
    switch (item.form) {
    case firewall_item::single:
        return bytes_of(item.text, v6, a) && std::memcmp(a, c.bytes.data(), 16) == 0;
    case firewall_item::prefix: {
        if (!bytes_of(item.text.substr(0, item.text.find('/')), v6, a))
            return false;
        int bits = (v6 ? 0 : 96) + item.prefix_length;
        for (int i = 0; i < bits; ++i) {
            auto mask = static_cast<std::uint8_t>(0x80u >> (i % 8));
            if ((a[i / 8] & mask) != (c.bytes[static_cast<std::size_t>(i / 8)] & mask))
                return false;
        }
        return true;
    }
    case firewall_item::range:
        break;
    }
    const std::size_t dash = item.text.find('-');
    const std::string lower = item.text.substr(0, dash), upper = item.text.substr(dash + 1);
    if (!v6) {
        std::uint32_t v = u32_of(c);
        return get_ip_32bit(lower.c_str()) <= v && v <= get_ip_32bit(upper.c_str());
    }
    return bytes_of(trimmed(lower), true, a) && bytes_of(trimmed(upper), true, b) &&
           std::memcmp(a, c.bytes.data(), 16) <= 0 && std::memcmp(c.bytes.data(), b, 16) <= 0;
}

// The address one step away, unless that leaves the family's space.
bool step(ip_address& a, int by)
{
    for (int i = 15; i >= (a.v6 ? 0 : 12); --i) {
        std::uint8_t before = a.bytes[static_cast<std::size_t>(i)];
        a.bytes[static_cast<std::size_t>(i)] = static_cast<std::uint8_t>(before + by);
        if ((by > 0 && before != 0xff) || (by < 0 && before != 0))
            return true;
    }
    return false;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    std::string input(reinterpret_cast<const char*>(data), size);
    std::size_t eol = input.find('\n');
    firewall_value value = parse_firewall(std::string_view(input).substr(0, eol));
    if (value.unreadable)
        FUZZ_CHECK(value.items.empty());

    std::vector<ip_address> clients;
    for (std::size_t at = eol; at != std::string::npos && at < input.size();) {
        std::size_t next = input.find('\n', at + 1);
        if (auto c = parse_client(input.substr(at + 1, next == std::string::npos ? next : next - at - 1)))
            clients.push_back(*c);
        at = next;
    }
    for (const auto& item : value.items) {
        FUZZ_CHECK(item.text.find(',') == std::string::npos);
        FUZZ_CHECK(!describe_item(item).empty());
        std::vector<ip_address> probes = clients;
        ip_address below = item.low, above = item.high;
        if (item.low.bytes <= item.high.bytes) {
            FUZZ_CHECK(item_admits(item, item.low) && item_admits(item, item.high));
            probes.push_back(item.low);
            probes.push_back(item.high);
        }
        if (step(below, -1))
            probes.push_back(below);
        if (step(above, +1))
            probes.push_back(above);
        for (const auto& c : probes)
            if (item_admits(item, c))
                FUZZ_CHECK(within(item, c));
    }
    return 0;
}
