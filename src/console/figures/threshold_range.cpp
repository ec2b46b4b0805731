// Reading and writing threshold ranges.
#include "console/figures/threshold_range.h"

#include <charconv>

#include "console/replies/agent_replies.h"

namespace dorv {

namespace {

// A number of a range: an optional sign, digits, and a fraction after a '.'; no exponent,
// no "inf", and no locale's decimal comma.
std::optional<double> range_number(std::string_view t)
{
    if (t.empty() || t.size() > 20)
        return std::nullopt;
    std::size_t i = t[0] == '-' || t[0] == '+' ? 1 : 0;
    std::size_t digits = t.find_first_not_of("0123456789", i);
    if (digits == i)
        return std::nullopt;
    if (digits != std::string_view::npos &&
        (t[digits] != '.' || digits + 1 == t.size() ||
         t.find_first_not_of("0123456789", digits + 1) != std::string_view::npos))
        return std::nullopt;
    double v = 0;
    const char* first = t.data() + (t[0] == '+' ? 1 : 0);
    auto [end, ec] = std::from_chars(first, t.data() + t.size(), v, std::chars_format::fixed);
    if (ec != std::errc() || end != t.data() + t.size())
        return std::nullopt;
    return v == 0 ? 0.0 : v; // no "-0"
}

std::string number_text(double v)
{
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v, std::chars_format::fixed);
    return ec == std::errc() ? std::string(buf, end) : std::string("?");
}

// One end of a range: false, with why set, when it is not a number.
bool read_end(std::string_view t, std::optional<double>& out, std::string& why)
{
    out = range_number(t);
    if (!out)
        why = "\"" + std::string(t) + "\" is no number";
    return out.has_value();
}

} // namespace

bool alerts(const threshold_range& r, double value)
{
    bool within = (!r.start || value >= *r.start) && (!r.end || value <= *r.end);
    return r.inside ? within : !within;
}

std::optional<threshold_range> parse_range(std::string_view text, std::string& why)
{
    why.clear();
    threshold_range r;
    r.inside = !text.empty() && text[0] == '@';
    std::string_view body = text.substr(r.inside ? 1 : 0);
    std::size_t colon = body.find(':');
    if (text.empty())
        why = "it is empty";
    else if (body.empty())
        why = "nothing follows the '@'";
    else if (colon == std::string_view::npos)
        r.start = 0.0;
    else if (body.find(':', colon + 1) != std::string_view::npos)
        why = "it holds more than one ':'";
    else if (colon == 0)
        why = "its start is empty (\"~\" is minus infinity)";
    if (!why.empty())
        return std::nullopt;
    std::string_view start = colon == std::string_view::npos ? "" : body.substr(0, colon);
    std::string_view end = colon == std::string_view::npos ? body : body.substr(colon + 1);
    if ((!start.empty() && start != "~" && !read_end(start, r.start, why)) ||
        (!end.empty() && !read_end(end, r.end, why)))
        return std::nullopt;
    if (r.start && r.end && *r.start > *r.end) {
        why = "its start is above its end";
        return std::nullopt;
    }
    return r;
}

std::string range_text(const threshold_range& r)
{
    std::string out = r.inside ? "@" : "";
    // A start at or below 0 changes nothing for a figure that is never below 0.
    if ((!r.start || *r.start <= 0) && r.end && *r.end >= 0)
        return out + number_text(*r.end);
    out += (r.start ? number_text(*r.start) : "~") + ":";
    return r.end ? out + number_text(*r.end) : out;
}

std::optional<limit_value> parse_limit_value(const std::string& text, std::string& why)
{
    limit_value v;
    if (text.find_first_of(":@") == std::string::npos) {
        v.plain = parse_limit(text);
        if (!v.plain)
            why = "a limit without ':' or '@' is a whole number (the check's own limit); a range "
                  "reads START:END, \"~\" for minus infinity, \"@\" in front to alert inside";
        return v.plain ? std::optional(v) : std::nullopt;
    }
    std::optional<threshold_range> r = parse_range(text, why);
    if (!r)
        return std::nullopt;
    v.range = *r;
    return v;
}

} // namespace dorv
