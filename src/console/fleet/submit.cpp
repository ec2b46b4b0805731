// Passive results for the Icinga 2 API: what is sent and what its answers say.
#include "console/fleet/submit.h"

#include "console/companions/companion.h"
#include "console/text/text.h"

namespace dorv {

namespace {

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

int run_submitting_console(const std::string& self_path, const std::vector<std::string>& args, std::FILE* err)
{
    return run_companion("dorv-console-submit", "--submit (the console built with libcurl)", self_path, {},
                         args, err);
}

} // namespace dorv
