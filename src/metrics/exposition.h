// Prometheus' text exposition format (version 0.0.4), written directly: metric families
// with their HELP and TYPE lines, each family's samples together, label values and help
// texts escaped as the format requires. Pure: every function returns text.
#pragma once

#include <string>
#include <string_view>
#include <utility>
#include <vector>

namespace dorv {

// A metric family: its name, its type ("gauge", "counter", "summary") and its help text.
struct metric_family {
    const char* name;
    const char* type;
    const char* help;
};

using metric_labels = std::vector<std::pair<std::string, std::string>>;

// A label value as the format writes it between its quotes: a backslash, a double quote
// and a line feed become \\, \" and \n. The text must be UTF-8.
std::string escape_label_value(std::string_view value);

// A HELP text: a backslash and a line feed become \\ and \n.
std::string escape_help(std::string_view help);

// A sample value: the shortest text that reads back as the same double, "NaN", "+Inf" or
// "-Inf".
std::string sample_value(double v);

// The samples of one exposition, grouped by family in the order the families first came.
// A sample whose family and labels are already there is left out: a series has one value.
class exposition {
  public:
    void add(const metric_family& family, const metric_labels& labels, double value);
    // A "# " comment line, written before the families.
    void comment(std::string_view text);
    bool empty() const { return families_.empty() && comments_.empty(); }
    std::string text() const;

  private:
    struct series {
        std::string labels; // {name="value",...} as written, "" for none
        std::string value;
    };
    struct family_samples {
        metric_family family;
        std::vector<series> samples;
    };
    std::vector<family_samples> families_;
    std::string comments_;
};

// Several expositions as one (the hosts of a run, each its own text): each family's HELP
// and TYPE lines once and its samples together, in the order they came; the comments
// first. Empty lines are left out.
std::string merge_expositions(const std::vector<std::string>& texts);

} // namespace dorv
