// The options of connection reuse, --submit and --hosts.
#include "console/network_options.h"

#include <cstdlib>
#include <optional>
#include <utility>

namespace dorv {

namespace {

// v as a whole number from low to high; nothing when it is not one.
std::optional<int> whole_number(const std::string& v, long low, long high)
{
    char* end = nullptr;
    long n = std::strtol(v.c_str(), &end, 10);
    if (v.empty() || *end != '\0' || n < low || n > high)
        return std::nullopt;
    return static_cast<int>(n);
}

} // namespace

std::string set_reuse(console_options& o, const std::string& name, const std::string& v)
{
    std::optional<int> seconds = whole_number(v, 0, 86400);
    if (!seconds)
        return name + " takes a whole number of seconds from 0 to 86400, not \"" + v + "\"";
    o.reuse = *seconds;
    return "";
}

std::string set_submit_text(console_options& o, const std::string& name, const std::string& v)
{
    if (v.empty())
        return name + " needs a value";
    submit_options& s = o.submit ? *o.submit : o.submit.emplace();
    const std::pair<const char*, std::string submit_options::*> fields[] = {
        {"--submit", &submit_options::url},
        {"--submit-user", &submit_options::user},
        {"--submit-password-file", &submit_options::password_file},
        {"--submit-cert", &submit_options::cert},
        {"--submit-key", &submit_options::key},
        {"--submit-ca", &submit_options::ca},
    };
    for (const auto& [field_name, field] : fields)
        if (name == field_name)
            s.*field = v;
    return "";
}

std::string set_submit_ttl(console_options& o, const std::string& name, const std::string& v)
{
    std::optional<int> seconds = whole_number(v, 1, 7 * 86400);
    if (!seconds)
        return name + " takes a whole number of seconds above 0, not \"" + v + "\"";
    (o.submit ? *o.submit : o.submit.emplace()).ttl = *seconds;
    return "";
}

std::string set_hosts(console_options& o, const std::string& name, const std::string& v)
{
    if (v.empty())
        return name + " needs a file";
    o.hosts = v;
    return "";
}

std::string set_jobs(console_options& o, const std::string& name, const std::string& v)
{
    std::optional<int> jobs = whole_number(v, 1, 1000);
    if (!jobs)
        return name + " takes a number of hosts from 1 to 1000, not \"" + v + "\"";
    o.jobs = *jobs;
    return "";
}

std::string check_submit(console_options& o)
{
    if (!o.submit)
        return "";
    const submit_options& s = *o.submit;
    if (s.url.empty())
        return "--submit-... settings need --submit URL";
    if (s.url.rfind("https://", 0) != 0)
        return "--submit takes an https:// URL, not \"" + s.url + "\"";
    if (o.format != output_format::human && o.format != output_format::passive)
        return "--submit sends passive results: no --format but passive";
    o.format = output_format::passive;
    if (s.user.empty() != s.password_file.empty())
        return "--submit-user and --submit-password-file go together";
    if (s.cert.empty() != s.key.empty())
        return "--submit-cert and --submit-key go together";
    if (s.user.empty() && s.cert.empty())
        return "--submit needs --submit-user with --submit-password-file, or --submit-cert with --submit-key";
    return "";
}

std::string check_hosts(console_options& o)
{
    if (!o.hosts)
        return "";
    if (o.ssh || o.agent || o.host)
        return "--hosts names the hosts: no --ssh, --agent or --host with it";
    if (o.format != output_format::human && o.format != output_format::passive)
        return "--hosts gives passive results: no --format but passive";
    o.format = output_format::passive;
    return "";
}

} // namespace dorv
