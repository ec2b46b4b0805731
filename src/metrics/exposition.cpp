// Writing the text exposition format.
#include "metrics/exposition.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <sstream>

namespace dorv {

namespace {

std::string escaped(std::string_view text, bool quote)
{
    std::string out;
    for (char c : text) {
        if (c == '\\')
            out += "\\\\";
        else if (c == '\n')
            out += "\\n";
        else if (c == '"' && quote)
            out += "\\\"";
        else
            out += c;
    }
    return out;
}

std::string label_text(const metric_labels& labels)
{
    if (labels.empty())
        return "";
    std::string out = "{";
    for (const auto& [name, value] : labels)
        out += (out.size() > 1 ? "," : "") + name + "=\"" + escape_label_value(value) + "\"";
    return out + "}";
}

// One family of a merged text: its HELP and TYPE lines and its samples.
struct merged_family {
    std::string name;
    std::string head; // its HELP and TYPE lines
    std::string samples;
};

// The metric name a line is about: the word after "# HELP " or "# TYPE ", or a sample's
// name; "" for a comment or an empty line.
std::string line_metric(const std::string& line, bool& head)
{
    head = line.rfind("# HELP ", 0) == 0 || line.rfind("# TYPE ", 0) == 0;
    if (head) {
        std::size_t end = line.find(' ', 7);
        return line.substr(7, end == std::string::npos ? std::string::npos : end - 7);
    }
    if (line.empty() || line[0] == '#')
        return "";
    return line.substr(0, line.find_first_of("{ "));
}

} // namespace

std::string escape_label_value(std::string_view value)
{
    return escaped(value, true);
}

std::string escape_help(std::string_view help)
{
    return escaped(help, false);
}

std::string sample_value(double v)
{
    if (std::isnan(v))
        return "NaN";
    if (std::isinf(v))
        return v > 0 ? "+Inf" : "-Inf";
    char buf[64];
    auto [end, ec] = std::to_chars(buf, buf + sizeof buf, v);
    return ec == std::errc() ? std::string(buf, end) : "NaN";
}

void exposition::add(const metric_family& family, const metric_labels& labels, double value)
{
    auto f = std::find_if(families_.begin(), families_.end(), [&](const family_samples& s) {
        return std::string_view(s.family.name) == family.name;
    });
    if (f == families_.end())
        f = families_.insert(families_.end(), {family, {}});
    std::string written = label_text(labels);
    for (const series& s : f->samples)
        if (s.labels == written)
            return;
    f->samples.push_back({std::move(written), sample_value(value)});
}

void exposition::comment(std::string_view text)
{
    std::istringstream lines{std::string(text)};
    for (std::string line; std::getline(lines, line);) {
        // A comment that began with HELP or TYPE would be read as such a line.
        std::size_t word = line.find_first_not_of(" \t");
        bool looks_special = word != std::string::npos &&
                             (line.compare(word, 4, "HELP") == 0 || line.compare(word, 4, "TYPE") == 0);
        comments_ += (looks_special ? "# - " : "# ") + line + "\n";
    }
}

std::string exposition::text() const
{
    std::string out = comments_;
    for (const family_samples& f : families_) {
        out += std::string("# HELP ") + f.family.name + " " + escape_help(f.family.help) + "\n";
        out += std::string("# TYPE ") + f.family.name + " " + f.family.type + "\n";
        for (const series& s : f.samples)
            out += f.family.name + s.labels + " " + s.value + "\n";
    }
    return out;
}

std::string merge_expositions(const std::vector<std::string>& texts)
{
    std::string comments;
    std::vector<merged_family> families;
    for (const std::string& text : texts) {
        std::istringstream lines(text);
        for (std::string line; std::getline(lines, line);) {
            bool head = false;
            std::string name = line_metric(line, head);
            if (name.empty()) {
                if (!line.empty())
                    comments += line + "\n";
                continue;
            }
            auto f = std::find_if(families.begin(), families.end(),
                                  [&](const merged_family& m) { return m.name == name; });
            if (f == families.end())
                f = families.insert(families.end(), {name, "", ""});
            if (!head)
                f->samples += line + "\n";
            else if (f->head.find(line.substr(0, 7)) == std::string::npos)
                f->head += line + "\n";
        }
    }
    std::string out = comments;
    for (const merged_family& f : families)
        out += f.head + f.samples;
    return out;
}

} // namespace dorv
