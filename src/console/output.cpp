// Output formats of the console.
#include "console/output.h"

#include "base/text_helpers.h"
#include "console/text/text.h"
#include "console/thresholds.h"
#include "protocol/packet.h"

#include <cstdio>

namespace dorv {

namespace {

// Reads the number starting at i (an optional '-' then digits); sets end past it.
long number_at(const std::string& t, std::size_t i, std::size_t& end)
{
    bool neg = t[i] == '-';
    end = neg ? i + 1 : i;
    long v = 0;
    for (; end < t.size() && is_digit(t[end]) && v < 1000000000L; ++end)
        v = v * 10 + (t[end] - '0');
    return neg ? -v : v;
}

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

std::string json_string(const std::string& s)
{
    return quoted(json_escape(s));
}

// [{"label": ..., "value": ..., "unit", "warn", "crit", "min", "max" where given}, ...];
// an item that could not be read as {"unread": the item}.
std::string json_perf(const std::vector<perf_value>& perf)
{
    std::string out = "[";
    for (const perf_value& p : perf) {
        out += out.size() > 1 ? ",{" : "{";
        if (p.label.empty()) {
            out += "\"unread\":" + json_string(p.written) + "}";
            continue;
        }
        out += "\"label\":" + json_string(p.label) + ",\"value\":" + json_string(p.value);
        const std::pair<const char*, const std::string*> fields[] = {
            {"unit", &p.unit}, {"warn", &p.warn}, {"crit", &p.crit}, {"min", &p.min}, {"max", &p.max}};
        for (const auto& [name, v] : fields)
            if (!v->empty())
                out += ",\"" + std::string(name) + "\":" + json_string(*v);
        out += "}";
    }
    return out + "]";
}

} // namespace

std::optional<figure> result_figure(const std::string& check, const std::string& text)
{
    const check_figure* known = figure_rule_for(check);
    if (!known)
        return std::nullopt;
    const std::string label = known->label;
    std::optional<figure> first_alone;
    for (std::size_t i = 0; i < text.size(); ++i) {
        bool starts = is_digit(text[i]) || (text[i] == '-' && i + 1 < text.size() && is_digit(text[i + 1]));
        if (!starts || (i > 0 && (is_digit(text[i - 1]) || text[i - 1] == '-')))
            continue;
        std::size_t end = 0;
        long v = number_at(text, i, end);
        if (end < text.size() && text[end] == '%')
            return figure{label, v, "%"};
        bool alone = (i == 0 || text[i - 1] == ' ') && (end == text.size() || text[end] == ' ');
        if (alone && !first_alone)
            first_alone = figure{label, v, "%"};
        i = end - 1;
    }
    return first_alone;
}

int state_exit(check_state s)
{
    switch (s) {
    case check_state::up:
        return exit_up;
    case check_state::warning:
        return exit_warning;
    case check_state::down:
        return exit_down;
    default:
        return exit_unknown;
    }
}

check_state worst_state(const std::vector<check_state>& states)
{
    for (check_state s : {check_state::down, check_state::warning, check_state::unknown})
        for (check_state t : states)
            if (t == s)
                return s;
    return check_state::up;
}

int combined_exit(const std::vector<check_state>& states)
{
    return state_exit(worst_state(states));
}

std::string state_name(check_state s)
{
    switch (s) {
    case check_state::up:
        return "up";
    case check_state::warning:
        return "warning";
    case check_state::down:
        return "down";
    default:
        return "unknown";
    }
}

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
        values += (i ? ", " : "") + r.args.key(i) + "=" + r.args.value(i);
    // Performance data as the answer brought them; a figure of the console's own is in the text.
    std::string perf;
    for (const perf_value& p : r.perf)
        if (!p.written.empty())
            perf += " " + p.written;
    return pad(human_text(r.check), 11) + pad(state_name(r.state), 9) + human_text(r.text) +
           (values.empty() ? "" : "  (" + human_text(values) + ")") + "\n" +
           (perf.empty() ? "" : "  |" + human_text(perf) + "\n") + indented(r.long_output);
}

std::string json_escape(const std::string& s)
{
    std::string out;
    for (char ch : valid_utf8(s)) {
        unsigned char c = static_cast<unsigned char>(ch);
        if (c == '"' || c == '\\') {
            out += '\\';
            out += ch;
        } else if (c == '\n') {
            out += "\\n";
        } else if (c == '\t') {
            out += "\\t";
        } else if (c < 0x20 || c == 0x7f) {
            char buf[8];
            std::snprintf(buf, sizeof buf, "\\u%04x", c);
            out += buf;
        } else {
            out += ch;
        }
    }
    return out;
}

std::string json_list(const std::vector<check_info>& offered)
{
    std::string out = "{\"command\":\"list\",\"offered\":[";
    for (std::size_t i = 0; i < offered.size(); ++i)
        out += std::string(i ? "," : "") + "{\"check\":" + json_string(offered[i].name) +
               ",\"description\":" + json_string(offered[i].description) +
               ",\"available\":" + (offered[i].available ? "true" : "false") + "}";
    return out + "]}\n";
}

std::string json_describe(const std::string& check, const std::vector<param_info>& params)
{
    std::string out = "{\"command\":\"describe\",\"check\":" + json_string(check) + ",\"parameters\":[";
    for (std::size_t i = 0; i < params.size(); ++i) {
        const auto& p = params[i];
        out += std::string(i ? "," : "") + "{\"name\":" + json_string(p.name) +
               ",\"type\":" + json_string(p.type);
        if (!p.maxlength.empty()) {
            bool number =
                p.maxlength.size() < 10 && p.maxlength.find_first_not_of("0123456789") == std::string::npos;
            out += ",\"maxlength\":" + (number ? p.maxlength : json_string(p.maxlength));
        }
        if (p.is_list()) {
            out += ",\"values\":[";
            for (std::size_t k = 0; k < p.values.size(); ++k) {
                if (k)
                    out += ',';
                out += json_string(p.values[k]);
            }
            out += "]";
        }
        out += "}";
    }
    return out + "]}\n";
}

std::string json_run(const run_outcome& r)
{
    std::string out = "{\"command\":\"run\",\"check\":" + json_string(r.check) + ",\"arguments\":{";
    for (int i = 0; i < r.args.pairs(); ++i)
        out += std::string(i ? "," : "") + json_string(r.args.key(i)) + ":" + json_string(r.args.value(i));
    out += "},\"status\":" + json_string(state_name(r.state));
    if (r.state == check_state::unknown)
        return out + ",\"error\":" + json_string(r.text) + "}\n";
    out += ",\"text\":" + json_string(r.text);
    if (auto f = result_figure(r.check, r.text))
        out += ",\"figure\":{\"label\":" + json_string(f->label) + ",\"value\":" + std::to_string(f->value) +
               ",\"unit\":" + json_string(f->unit) + "}";
    if (!r.perf.empty())
        out += ",\"perfdata\":" + json_perf(r.perf);
    if (!r.long_output.empty())
        out += ",\"long_output\":" + json_string(r.long_output);
    return out + "}\n";
}

std::string json_skipped(const std::string& check, const std::string& why)
{
    return "{\"command\":\"run-all\",\"check\":" + json_string(check) + ",\"skipped\":" + json_string(why) +
           "}\n";
}

std::string json_error(const std::string& verb, const std::string& check, const std::string& message)
{
    std::string out = "{\"command\":" + json_string(verb);
    if (!check.empty())
        out += ",\"check\":" + json_string(check);
    return out + ",\"status\":\"unknown\",\"error\":" + json_string(message) + "}\n";
}

} // namespace dorv
