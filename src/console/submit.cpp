// Passive results for the Icinga 2 API: what is sent and what its answers say.
#include "console/submit.h"

#include "console/companion.h"
#include "console/perfdata.h"
#include "console/plugin_output.h"

namespace dorv {

namespace {

std::string json_string(const std::string& s)
{
    return "\"" + json_escape(s) + "\"";
}

// The JSON string value that starts at the quote at i; end is set past it.
std::string json_string_at(const std::string& body, std::size_t i, std::size_t& end)
{
    std::string out;
    for (end = i + 1; end < body.size() && body[end] != '"'; ++end) {
        if (body[end] == '\\' && end + 1 < body.size()) {
            char c = body[++end];
            out += c == 'n' ? '\n' : c == 't' ? '\t' : c;
        } else {
            out += body[end];
        }
    }
    return out;
}

// The string value of the first "key" at or after from.
std::string string_field(const std::string& body, const std::string& key, std::size_t from)
{
    std::size_t at = body.find("\"" + key + "\"", from);
    if (at == std::string::npos)
        return "";
    std::size_t colon = body.find_first_not_of(" \t\r\n", at + key.size() + 2);
    if (colon == std::string::npos || body[colon] != ':')
        return "";
    std::size_t quote = body.find_first_not_of(" \t\r\n", colon + 1);
    if (quote == std::string::npos || body[quote] != '"')
        return "";
    std::size_t end = 0;
    return json_string_at(body, quote, end);
}

} // namespace

std::vector<passive_result> passive_results(const std::vector<run_outcome>& runs, const std::string& host)
{
    std::vector<passive_result> out;
    for (const auto& r : runs) {
        passive_result p;
        p.host = host;
        p.service = r.service.empty() ? r.check : r.service;
        p.exit_status = state_exit(r.state);
        p.output = plugin_line(r) + long_output_lines(r);
        // Each result is a service of its own: its labels need only differ among its items,
        // and each item is an entry of the API's array.
        perf_labels labels;
        p.perfdata = perf_items(r, labels);
        out.push_back(std::move(p));
    }
    return out;
}

std::optional<passive_result> parse_passive_line(const std::string& line)
{
    const std::string command = "] PROCESS_SERVICE_CHECK_RESULT;";
    std::size_t at = line.find(command);
    if (line.empty() || line[0] != '[' || at == std::string::npos)
        return std::nullopt;
    std::size_t fields[3];
    std::size_t from = at + command.size();
    for (auto& f : fields) {
        f = line.find(';', from);
        if (f == std::string::npos)
            return std::nullopt;
        from = f + 1;
    }
    passive_result r;
    r.host = line.substr(at + command.size(), fields[0] - at - command.size());
    r.service = line.substr(fields[0] + 1, fields[1] - fields[0] - 1);
    std::string state = line.substr(fields[1] + 1, fields[2] - fields[1] - 1);
    if (state.size() != 1 || state[0] < '0' || state[0] > '3')
        return std::nullopt;
    r.exit_status = state[0] - '0';
    std::string rest = line.substr(fields[2] + 1);
    std::size_t bar = rest.find('|');
    r.output = rest.substr(0, bar);
    if (bar != std::string::npos && bar + 1 < rest.size())
        r.perfdata.push_back(rest.substr(bar + 1));
    return r;
}

std::string check_result_body(const passive_result& r, const std::string& source, int ttl)
{
    std::string perf;
    for (const auto& p : r.perfdata)
        perf += (perf.empty() ? "" : ",") + json_string(p);
    return "{\"type\":\"Service\",\"service\":" + json_string(r.host + "!" + r.service) +
           ",\"exit_status\":" + std::to_string(r.exit_status) +
           ",\"plugin_output\":" + json_string(r.output) + ",\"performance_data\":[" + perf +
           "],\"check_source\":" + json_string(source) + ",\"ttl\":" + std::to_string(ttl) + "}";
}

std::string api_status(const std::string& body)
{
    std::size_t results = body.find("\"results\"");
    if (results != std::string::npos)
        if (std::string s = string_field(body, "status", results); !s.empty())
            return s;
    return string_field(body, "status", 0);
}

std::size_t deliver(result_sink& sink, const std::vector<passive_result>& results, std::FILE* err)
{
    std::size_t failed = 0;
    for (const auto& r : results) {
        std::string why = sink.send(r);
        if (why.empty())
            continue;
        ++failed;
        std::fprintf(err, "dorv-console: the result of %s!%s was not accepted: %s\n", r.host.c_str(),
                     r.service.c_str(), why.c_str());
    }
    return failed;
}

int run_submitting_console(const std::string& self_path, const std::vector<std::string>& args, std::FILE* err)
{
    return run_companion("dorv-console-submit", "--submit (the console built with libcurl)", self_path, {},
                         args, err);
}

} // namespace dorv
