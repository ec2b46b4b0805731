// One JSON object per command on standard output, failures and checks left out included.
#include "console/output/format_json.h"

#include "console/figures/figures.h"
#include "console/output/format.h"
#include "console/text/text.h"

namespace dorv {

namespace {

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

class json_output : public stream_output {
  public:
    using stream_output::stream_output;

    void list(const std::vector<check_info>& offered) override { print(json_list(offered)); }
    void describe(const std::string& check, const std::vector<param_info>& params) override
    {
        print(json_describe(check, params));
    }
    void result(const run_outcome& r) override { print(json_run(r)); }
    void error(const command_error& e) override { print(json_error(e.verb, e.check, e.message)); }
    void skipped(const std::string& check, const std::string& why) override
    {
        print(json_skipped(check, why));
    }
};

} // namespace

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
        out += std::string(i ? "," : "") + json_string(r.args.key(i)) + ":" + json_string(given_value(r, i));
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

std::unique_ptr<console_output> make_json_output(const output_setup& setup)
{
    return std::make_unique<json_output>(setup);
}

} // namespace dorv
