// Readable text for a person at a terminal: results on standard output, failures on
// standard error.
#include "console/output/format_human.h"

#include "checks/catalog.h"
#include "console/output/format.h"
#include "console/text/text.h"

namespace dorv {

namespace {

std::string pad(const std::string& s, std::size_t width)
{
    return s.size() >= width ? s + " " : s + std::string(width - s.size(), ' ');
}

// Each line of text, shown safely, after two blanks.
std::string indented(const std::string& text)
{
    std::string out;
    for (std::string_view line : text_lines(text))
        out += "  " + human_text(line) + "\n";
    return out;
}

class human_output : public stream_output {
  public:
    using stream_output::stream_output;

    void list(const std::vector<check_info>& offered) override { print(human_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(human_describe(check, params));
    }
    void result(const run_outcome& r) override { print(human_run(r)); }
    void error(const command_error& e) override { complain(human_text(e.message)); }
    void skipped(const std::string& check, const std::string& why) override { complain_skipped(check, why); }
};

} // namespace

std::string human_list(const std::vector<check_info>& offered)
{
    std::size_t w = 9;
    for (const auto& c : offered)
        w = std::max(w, c.name.size() + 2);
    std::string out = pad("CHECK", w) + "DESCRIPTION\n";
    for (const auto& c : offered)
        out += pad(human_text(c.name), w) + human_text(c.description) +
               (c.available ? "" : " (not available)") + "\n";
    return out;
}

std::string human_describe(const std::string& check, const std::vector<param_info>& params)
{
    std::string out = check + " takes " + std::to_string(params.size()) + " parameter" +
                      (params.size() == 1 ? "" : "s") + (params.empty() ? "\n" : ":\n");
    std::size_t w = 0;
    for (const auto& p : params)
        w = std::max(w, p.name.size() + 2);
    int n = 0;
    for (const auto& p : params) {
        out += "  " + std::to_string(++n) + ". " + pad(human_text(p.name), w);
        if (p.is_number()) {
            out += "number";
            if (!p.maxlength.empty())
                out += ", max length " + p.maxlength;
            out += "\n";
        } else if (p.is_list()) {
            out += "one of " + std::to_string(p.values.size()) + " value" +
                   (p.values.size() == 1 ? "" : "s") + (p.values.empty() ? "\n" : ":\n");
            for (const auto& v : p.values)
                out += "       " + human_text(v) + "\n";
        } else {
            out += p.type + "\n";
        }
    }
    if (const check_profile* row = find_profile(check); row && row->note)
        out += row->note;
    return out;
}

std::string human_run(const run_outcome& r)
{
    std::string values;
    for (int i = 0; i < r.args.pairs(); ++i)
        values += (i ? ", " : "") + r.args.key(i) + "=" + given_value(r, i);
    // Performance data as the answer brought them; a figure of the console's own is in the text.
    std::string perf;
    for (const perf_value& p : r.perf)
        if (!p.written.empty())
            perf += " " + p.written;
    return pad(human_text(r.check), 11) + pad(state_name(r.state), 9) + human_text(r.text) +
           (values.empty() ? "" : "  (" + human_text(values) + ")") + "\n" +
           (perf.empty() ? "" : "  |" + human_text(perf) + "\n") + indented(r.long_output);
}

std::unique_ptr<console_output> make_human_output(const output_setup& setup)
{
    return std::make_unique<human_output>(setup);
}

} // namespace dorv
