// Amounts as top prints them ("5256K", "1.5G", "15%") and lists of labelled amounts
// ("36M Active, 5256K Inact"), for the readers of top's summary lines.
#pragma once

#include <algorithm>
#include <array>
#include <cstdint>
#include <initializer_list>
#include <limits>
#include <optional>
#include <string_view>
#include <vector>

#include "base/text_helpers.h"

namespace dorv::labelled {

inline constexpr std::int64_t int64_top = std::numeric_limits<std::int64_t>::max();

// ---- Amounts ------------------------------------------------------------------------
// Amounts are counted in KiB, the unit of a bare amount on every layout that has none of
// its own. Sums and products saturate at the top of the 64-bit range.

inline std::int64_t sat_add(std::int64_t a, std::int64_t b)
{
    return a > int64_top - b ? int64_top : a + b;
}
inline std::int64_t sat_mul(std::int64_t a, std::int64_t b)
{
    return b != 0 && a > int64_top / b ? int64_top : a * b;
}

inline constexpr std::int64_t kib = 1;

// The unit letter written directly after an amount, in KiB.
inline std::int64_t unit_letter(char c)
{
    switch (c) {
    case 'K':
    case 'k':
        return kib;
    case 'M':
        return kib << 10;
    case 'G':
        return kib << 20;
    case 'T':
        return kib << 30;
    case 'P':
        return kib << 40;
    case 'E':
        return kib << 50;
    default:
        return 0;
    }
}

struct scanner {
    std::string_view text;
    std::size_t at = 0;

    bool done() const { return at >= text.size(); }
    char peek(std::size_t ahead = 0) const { return at + ahead < text.size() ? text[at + ahead] : '\0'; }
    void skip(std::size_t n = 1) { at = std::min(text.size(), at + n); }
    void blanks()
    {
        while (is_blank(peek()))
            skip();
    }
    bool eat(std::string_view word)
    {
        if (!text.substr(at).starts_with(word))
            return false;
        skip(word.size());
        return true;
    }
};

struct amount {
    std::int64_t kib = 0;
    bool percent = false; // "15%": a share, not an amount of memory
};

// Reads digits, an optional fraction and an optional unit letter (or '%'). Bare amounts
// count in `unit`.
inline std::optional<amount> read_amount(scanner& sc, std::int64_t unit)
{
    if (!is_digit(sc.peek()))
        return std::nullopt;
    std::int64_t whole = 0;
    while (is_digit(sc.peek())) {
        whole = sat_add(sat_mul(whole, 10), sc.peek() - '0');
        sc.skip();
    }
    // Three decimals are more than any top prints; further digits are passed over.
    std::int64_t frac = 0;
    std::int64_t scale = 1;
    if (sc.peek() == '.' && is_digit(sc.peek(1))) {
        sc.skip();
        for (; is_digit(sc.peek()); sc.skip()) {
            if (scale < 1000) {
                frac = frac * 10 + (sc.peek() - '0');
                scale *= 10;
            }
        }
    }
    amount a;
    if (sc.peek() == '%') {
        sc.skip();
        a.percent = true;
        a.kib = whole;
        return a;
    }
    if (std::int64_t letter = unit_letter(sc.peek())) {
        unit = letter;
        sc.skip();
    }
    // frac < 1000 and unit <= 2^50: the product stays within 64 bits.
    a.kib = sat_add(sat_mul(whole, unit), frac * unit / scale);
    return a;
}

// ---- Labelled lists: "36M Active, 5256K Inact, ..." ----------------------------------

struct item {
    amount value;
    std::string_view label;
};

// Splits a list of "amount label" items, separated by commas (procps also ends one with a
// full stop: "0 used.  3419356 avail Mem"). Nothing when the text is not such a list.
inline std::optional<std::vector<item>> read_items(std::string_view text, std::int64_t unit)
{
    scanner sc{text};
    std::vector<item> items;
    for (;;) {
        while (is_blank(sc.peek()) || sc.peek() == ',')
            sc.skip();
        if (sc.done())
            break;
        std::optional<amount> a = read_amount(sc, unit);
        if (!a || !is_blank(sc.peek()))
            return std::nullopt;
        sc.blanks();
        std::size_t start = sc.at;
        while (!sc.done() && sc.peek() != ',' && sc.peek() != '.')
            sc.skip();
        std::string_view label = trim_blanks(text.substr(start, sc.at - start));
        if (label.empty())
            return std::nullopt;
        if (sc.peek() == '.')
            sc.skip();
        items.push_back({*a, label});
    }
    if (items.empty())
        return std::nullopt;
    return items;
}

struct label_role {
    std::string_view label;
    int role;
};

// The amount of each role of a layout, from items that must all carry one of its labels,
// each role at most once. Only the role `percent_role` takes a share ("15% Inuse"), and it
// must be one. False when the items are not of this layout.
template <std::size_t Roles>
bool by_role(const std::vector<item>& items, std::initializer_list<label_role> labels,
             std::array<std::optional<std::int64_t>, Roles>& out, int percent_role = -1)
{
    for (const item& it : items) {
        auto found = std::find_if(labels.begin(), labels.end(),
                                  [&](const label_role& l) { return l.label == it.label; });
        if (found == labels.end())
            return false;
        auto role = static_cast<std::size_t>(found->role);
        if (out[role] || it.value.percent != (found->role == percent_role))
            return false;
        out[role] = it.value.kib;
    }
    return true;
}

} // namespace dorv::labelled
