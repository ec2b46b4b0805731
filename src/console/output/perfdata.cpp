// Labels and thresholds of performance data.
#include "console/output/perfdata.h"

#include "console/text/text.h"

#include <algorithm>

namespace dorv {

std::string perf_labels::unique(const std::string& label)
{
    std::string l = label;
    for (int n = 2; !taken_.insert(l).second; ++n)
        l = label + "_" + std::to_string(n);
    return l;
}

std::string quote_label(const std::string& label)
{
    std::string out = "'";
    for (char c : plugin_text(label)) {
        if (c == '\'')
            out += "''";
        else if (c == '=')
            out += '_';
        else
            out += c;
    }
    return out + "'";
}

namespace {

// Reads the label at text[i]: quoted (a doubled quote is one quote) or up to the '='.
// Moves i past it; false when there is none or its quote is not closed.
bool read_label(std::string_view text, std::size_t& i, std::string& label)
{
    if (text[i] != '\'') {
        std::size_t end = std::min(text.find_first_of("= ", i), text.size());
        label = text.substr(i, end - i);
        i = end;
        return !label.empty();
    }
    for (std::size_t j = i + 1; j < text.size(); ++j) {
        if (text[j] != '\'') {
            label += text[j];
        } else if (j + 1 < text.size() && text[j + 1] == '\'') {
            label += '\'';
            ++j;
        } else {
            i = j + 1;
            return !label.empty();
        }
    }
    i = text.size(); // the rest is the label that never closed
    return false;
}

// Fills the value, unit and thresholds of p from what follows the '='; false when they
// are not a number (or "U") and at most four more fields.
bool read_fields(std::string_view data, perf_value& p)
{
    std::vector<std::string> fields;
    for (std::size_t at = 0;; ++at) {
        std::size_t end = std::min(data.find(';', at), data.size());
        fields.emplace_back(data.substr(at, end - at));
        if ((at = end) == data.size())
            break;
    }
    if (fields.size() > 5)
        return false;
    const std::string& first = fields[0];
    std::size_t number = first == "U" ? 1 : std::min(first.find_first_not_of("0123456789.+-"), first.size());
    if (number == 0 || (first != "U" && first.find_first_of("0123456789") >= number))
        return false;
    p.value = first.substr(0, number);
    p.unit = first.substr(number);
    fields.resize(5);
    p.warn = fields[1], p.crit = fields[2], p.min = fields[3], p.max = fields[4];
    return true;
}

// One item written out: the thresholds and bounds that are not there, at the end, left off.
std::string written_item(const perf_value& p, const std::string& label)
{
    std::string out = quote_label(label) + "=" + p.value + p.unit;
    const std::string* fields[] = {&p.warn, &p.crit, &p.min, &p.max};
    std::size_t n = 4;
    while (n > 0 && fields[n - 1]->empty() && !p.written.empty())
        --n;
    for (std::size_t k = 0; k < n; ++k)
        out += ";" + *fields[k];
    return out;
}

} // namespace

std::vector<perf_value> parse_perfdata(std::string_view text)
{
    std::vector<perf_value> items;
    for (std::size_t i = text.find_first_not_of(' '); i < text.size(); i = text.find_first_not_of(' ', i)) {
        const std::size_t start = i;
        perf_value p;
        bool ok = read_label(text, i, p.label) && i < text.size() && text[i] == '=';
        std::size_t end = std::min(text.find(' ', i), text.size());
        if (!ok || !read_fields(text.substr(i + 1, end - i - 1), p))
            p = perf_value{};
        p.written = text.substr(start, end - start);
        items.push_back(std::move(p));
        i = end;
    }
    return items;
}

std::vector<std::string> perf_items(const run_outcome& r, perf_labels& labels)
{
    std::vector<std::string> items;
    for (const perf_value& p : r.perf) {
        if (p.label.empty()) {
            items.push_back(plugin_text(p.written));
            continue;
        }
        std::string label = labels.unique(p.label);
        items.push_back(label == p.label && !p.written.empty() ? plugin_text(p.written)
                                                               : written_item(p, label));
    }
    return items;
}

std::string perfdata(const run_outcome& r, perf_labels& labels)
{
    std::string out;
    for (const std::string& item : perf_items(r, labels))
        out += (out.empty() ? "" : " ") + item;
    return out;
}

} // namespace dorv
