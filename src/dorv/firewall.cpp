// Firewall values and client addresses.
#include "dorv/firewall.h"

#include <arpa/inet.h>

#include <cstring>

#include "base/text_helpers.h"

namespace dorv {

namespace {

// Reads a decimal number as atoi does (blanks, sign, digits), keeping its low 32 bits.
std::uint32_t leading_u32(const char* s)
{
    while (is_space(*s))
        ++s;
    bool negative = false;
    if (*s == '+' || *s == '-')
        negative = *s++ == '-';
    std::uint32_t v = 0;
    for (; is_digit(*s); ++s)
        v = v * 10u + static_cast<std::uint32_t>(*s - '0');
    return negative ? 0u - v : v;
}

// A bound of an IPv4 range that get_ip_32bit reads as four numbers: three dots, and a
// digit (after blanks and a sign) at the start of each piece.
bool readable_bound(const std::string& s)
{
    const char* p = s.c_str();
    for (int piece = 0; piece < 4; ++piece) {
        const char* q = p;
        while (is_space(*q))
            ++q;
        if (*q == '+' || *q == '-')
            ++q;
        if (!is_digit(*q))
            return false;
        if (piece < 3) {
            p = std::strchr(p, '.');
            if (!p)
                return false;
            ++p;
        }
    }
    return true;
}

ip_address from_u32(std::uint32_t v)
{
    ip_address a;
    for (std::size_t i = 0; i < 4; ++i)
        a.bytes[15 - i] = static_cast<std::uint8_t>(v >> (8 * i));
    return a;
}

// Exact address text: a dotted quad, or IPv6 text for inet_pton.
std::optional<ip_address> parse_address(std::string_view text)
{
    if (text.empty() || text.size() > 45)
        return std::nullopt;
    std::string s(text);
    ip_address a;
    if (s.find(':') == std::string::npos) {
        if (::inet_pton(AF_INET, s.c_str(), &a.bytes[12]) != 1)
            return std::nullopt;
        return a;
    }
    a.v6 = true;
    if (::inet_pton(AF_INET6, s.c_str(), a.bytes.data()) != 1)
        return std::nullopt;
    return a;
}

std::optional<firewall_item> parse_item(std::string_view text)
{
    firewall_item item{firewall_item::single, {}, {}, -1, std::string(text)};
    if (auto dash = text.find('-'); dash != std::string_view::npos) {
        item.form = firewall_item::range;
        std::string lower(text.substr(0, dash)), upper(text.substr(dash + 1));
        if (lower.find(':') == std::string::npos) {
            // The range as it has always been read: text after the upper bound's fourth
            // number is ignored and numbers past 255 carry over.
            if (!readable_bound(lower) || !readable_bound(upper))
                return std::nullopt;
            item.low = from_u32(get_ip_32bit(lower.c_str()));
            item.high = from_u32(get_ip_32bit(upper.c_str()));
            return item;
        }
        auto lo = parse_address(trim_blanks(lower)), hi = parse_address(trim_blanks(upper));
        if (!lo || !hi || !lo->v6 || !hi->v6)
            return std::nullopt;
        item.low = *lo;
        item.high = *hi;
        return item;
    }
    if (auto slash = text.find('/'); slash != std::string_view::npos) {
        item.form = firewall_item::prefix;
        auto net = parse_address(text.substr(0, slash));
        std::string_view len = text.substr(slash + 1);
        if (!net || len.empty() || len.size() > 3)
            return std::nullopt;
        int n = 0;
        for (char c : len) {
            if (!is_digit(c))
                return std::nullopt;
            n = n * 10 + (c - '0');
        }
        if (n > (net->v6 ? 128 : 32))
            return std::nullopt;
        item.prefix_length = n;
        int bits = net->v6 ? n : 96 + n; // counted over all 16 bytes
        item.low = item.high = *net;
        for (int i = 0; i < 128; ++i) {
            if (i < bits)
                continue;
            auto bit = static_cast<std::uint8_t>(0x80u >> (i % 8));
            item.low.bytes[static_cast<std::size_t>(i / 8)] &= static_cast<std::uint8_t>(~bit);
            item.high.bytes[static_cast<std::size_t>(i / 8)] |= bit;
        }
        return item;
    }
    auto a = parse_address(text);
    if (!a)
        return std::nullopt;
    item.low = item.high = *a;
    return item;
}

} // namespace

std::uint32_t get_ip_32bit(const char* ip)
{
    if (!ip)
        return 0;
    const char* d1 = std::strchr(ip, '.');
    const char* d2 = d1 ? std::strchr(d1 + 1, '.') : nullptr;
    const char* d3 = d2 ? std::strchr(d2 + 1, '.') : nullptr;
    if (!d3)
        return 0;
    std::uint32_t v = leading_u32(ip);
    v = v * 256u + leading_u32(d1 + 1);
    v = v * 256u + leading_u32(d2 + 1);
    v = v * 256u + leading_u32(d3 + 1);
    return v;
}

firewall_value parse_firewall(std::string_view value)
{
    firewall_value result;
    for (;;) {
        auto comma = value.find(',');
        std::string_view text = trim_blanks(value.substr(0, comma));
        std::optional<firewall_item> item = parse_item(text);
        if (!item) {
            result.items.clear();
            result.unreadable = std::string(text);
            return result;
        }
        result.items.push_back(std::move(*item));
        if (comma == std::string_view::npos)
            return result;
        value.remove_prefix(comma + 1);
    }
}

std::optional<ip_address> parse_client(std::string_view text)
{
    text = text.substr(0, text.find('%'));
    std::optional<ip_address> a = parse_address(text);
    if (a && a->v6) {
        static constexpr std::uint8_t mapped[12] = {0, 0, 0, 0, 0, 0, 0, 0, 0, 0, 0xff, 0xff};
        if (std::memcmp(a->bytes.data(), mapped, sizeof mapped) == 0) {
            a->v6 = false;
            std::memset(a->bytes.data(), 0, sizeof mapped);
        }
    }
    return a;
}

bool item_admits(const firewall_item& item, const ip_address& client)
{
    return item.low.v6 == client.v6 && item.low.bytes <= client.bytes && client.bytes <= item.high.bytes;
}

bool firewall_admits(const firewall_value& value, const ip_address& client)
{
    for (const auto& item : value.items)
        if (item_admits(item, client))
            return true;
    return false;
}

std::string address_text(const ip_address& a)
{
    char buf[INET6_ADDRSTRLEN];
    if (a.v6)
        ::inet_ntop(AF_INET6, a.bytes.data(), buf, sizeof buf);
    else
        ::inet_ntop(AF_INET, &a.bytes[12], buf, sizeof buf);
    return buf;
}

std::string describe_item(const firewall_item& item)
{
    const std::string family = item.low.v6 ? "IPv6" : "IPv4";
    switch (item.form) {
    case firewall_item::single:
        return family + " address " + address_text(item.low);
    case firewall_item::prefix:
        return family + " " + address_text(item.low) + "/" + std::to_string(item.prefix_length) + " (" +
               address_text(item.low) + " to " + address_text(item.high) + ")";
    case firewall_item::range:
        break;
    }
    if (item.high.bytes < item.low.bytes)
        return family + " range " + item.text + " (no address: the upper bound is below the lower)";
    return family + " " + address_text(item.low) + " to " + address_text(item.high);
}

} // namespace dorv
