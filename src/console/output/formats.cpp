// The output formats by name. A format is a file of its own that defines its maker (and,
// for discover, its configuration writer); this table is the one place that names them.
#include "console/output/discovered.h"
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

using configuration_writer = std::string (*)(const host_facts& facts);

struct format_row {
    const char* name;
    output_maker make;              // nullptr: it prints no results
    bool needs_host;                // its results name the host (--host): they can be sent on (--submit)
    bool fleet;                     // a format --hosts gives, each host's results whole
    configuration_writer configure; // discover's writer; nullptr: it prints no configuration
};

// The first row is the default.
const format_row formats[] = {
    {"human", make_human_output, false, false, nullptr},
    {"plugin", make_plugin_output, false, false, nullptr},
    {"json", make_json_output, false, false, write_json_configuration},
    {"passive", make_passive_output, true, true, nullptr},
    {"prometheus", make_prometheus_output, false, true, nullptr},
    {"nagios", nullptr, false, false, write_nagios_configuration},
    {"icinga2", nullptr, false, false, write_icinga2_configuration},
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

bool format_serves(const std::string& name, format_use use)
{
    const format_row* f = find_format(name);
    return f && (use == format_use::results ? f->make != nullptr : f->configure != nullptr);
}

std::string configuration_text(const std::string& name, const host_facts& facts)
{
    const format_row* f = find_format(name);
    return f && f->configure ? f->configure(facts) : "";
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

std::string format_names(std::string_view separator, std::string_view last_separator,
                         std::optional<format_use> use)
{
    std::vector<const char*> names;
    for (const format_row& f : formats)
        if (!use || format_serves(f.name, *use))
            names.push_back(f.name);
    std::string out;
    for (std::size_t i = 0; i < names.size(); ++i) {
        if (i > 0)
            out += i + 1 == names.size() ? last_separator : separator;
        out += names[i];
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
    return (f && f->make ? f : &formats[0])->make(setup);
}

} // namespace dorv
