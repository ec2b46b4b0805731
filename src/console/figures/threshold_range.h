// Threshold ranges as monitoring plugins write them for -w and -c: "10" (0 to 10), "10:"
// (10 and above), "~:10" (10 and below), "10:20", each with an optional "@" in front.
// A range is what is fine: outside it alerts, or inside it with "@". Both ends count as
// inside. Pure: no I/O.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace dorv {

struct threshold_range {
    std::optional<double> start; // none: minus infinity ("~")
    std::optional<double> end;   // none: plus infinity (nothing after the ':')
    bool inside = false;         // "@": alert inside the range instead of outside it
    bool operator==(const threshold_range&) const = default;
};

// Whether value alerts against r.
bool alerts(const threshold_range& r, double value);

// The range text reads as; nothing, with why set to what is wrong with it, when it is no
// range ("10:5", "abc", "@", "1:2:3", ":10").
std::optional<threshold_range> parse_range(std::string_view text, std::string& why);

// r in its simplest form for a figure that is never below 0, with '.' as the decimal
// point: "0:10" and "~:10" are "10", "@0:5" is "@5", "10.50:" is "10.5:".
std::string range_text(const threshold_range& r);

// A -w or -c value: a plain whole number, which keeps the check's own sense of a limit
// (a load above it, a free share at or below it), or a range, which has a ':' or an '@'.
struct limit_value {
    std::optional<long> plain;
    threshold_range range; // when not plain
};

// The limit text reads as; nothing, with why set, when it is neither.
std::optional<limit_value> parse_limit_value(const std::string& text, std::string& why);

} // namespace dorv
