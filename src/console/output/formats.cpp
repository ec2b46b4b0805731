// The output formats by name. A format is a file of its own that defines its maker; this
// table is the one place that names them.
#include "console/output/format.h"
#include "console/text/text.h"

namespace dorv {

using output_maker = std::unique_ptr<console_output> (*)(const output_setup& setup);

std::unique_ptr<console_output> make_human_output(const output_setup& setup);
std::unique_ptr<console_output> make_plugin_output(const output_setup& setup);
std::unique_ptr<console_output> make_json_output(const output_setup& setup);
std::unique_ptr<console_output> make_passive_output(const output_setup& setup);
std::unique_ptr<console_output> make_prometheus_output(const output_setup& setup);

namespace {

struct format_row {
    const char* name;
    output_maker make;
    bool needs_host; // its results name the host (--host): they can be sent on (--submit)
    bool fleet;      // a format --hosts gives, each host's results whole
};

// The first row is the default.
const format_row formats[] = {
    {"human", make_human_output, false, false},
    {"plugin", make_plugin_output, false, false},
    {"json", make_json_output, false, false},
    {"passive", make_passive_output, true, true},
    {"prometheus", make_prometheus_output, false, true},
};

const format_row* find_format(const std::string& name)
{
    for (const format_row& f : formats)
        if (name == f.name)
            return &f;
    return nullptr;
}

} // namespace

void stream_output::usage_error(const std::string& error)
{
    complain(error + " (see --help)");
}

void stream_output::complain_skipped(const std::string& check, const std::string& why)
{
    complain("run-all leaves out " + human_text(check) + ": " + human_text(why));
}

bool is_format(const std::string& name)
{
    return find_format(name) != nullptr;
}

bool format_needs_host(const std::string& name)
{
    const format_row* f = find_format(name);
    return f && f->needs_host;
}

bool fleet_format(const std::string& name)
{
    const format_row* f = find_format(name);
    return f && f->fleet;
}

std::string host_results_format()
{
    for (const format_row& f : formats)
        if (f.needs_host)
            return f.name;
    return formats[0].name;
}

std::string format_names(std::string_view separator, std::string_view last_separator)
{
    std::string out;
    const std::size_t n = std::size(formats);
    for (std::size_t i = 0; i < n; ++i) {
        if (i > 0)
            out += i + 1 == n ? last_separator : separator;
        out += formats[i].name;
    }
    return out;
}

std::string default_format()
{
    return formats[0].name;
}

std::unique_ptr<console_output> make_output(const std::string& name, const output_setup& setup)
{
    const format_row* f = find_format(name);
    return (f ? f : &formats[0])->make(setup);
}

} // namespace dorv
