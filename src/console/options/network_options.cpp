// The options of connection reuse, --submit and --hosts.
#include "console/options/network_options.h"

#include <algorithm>
#include <cstdlib>
#include <optional>
#include <utility>

#include "console/output/format.h"

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

bool set_reuse(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    std::optional<int> seconds = whole_number(v, 0, 86400);
    if (!seconds)
        return fail(error, name + " takes a whole number of seconds from 0 to 86400, not \"" + v + "\"");
    o.reuse = *seconds;
    return true;
}

bool set_submit_text(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    if (v.empty())
        return fail(error, name + " needs a value");
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
    return true;
}

bool set_submit_ttl(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    std::optional<int> seconds = whole_number(v, 1, 7L * 86400);
    if (!seconds)
        return fail(error, name + " takes a whole number of seconds above 0, not \"" + v + "\"");
    (o.submit ? *o.submit : o.submit.emplace()).ttl = *seconds;
    return true;
}

bool set_hosts(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    if (v.empty())
        return fail(error, name + " needs a file");
    o.hosts = v;
    return true;
}

bool set_jobs(console_options& o, const std::string& name, const std::string& v, std::string& error)
{
    std::optional<int> jobs = whole_number(v, 1, 1000);
    if (!jobs)
        return fail(error, name + " takes a number of hosts from 1 to 1000, not \"" + v + "\"");
    o.jobs = *jobs;
    return true;
}

bool check_submit(console_options& o, std::string& error)
{
    if (!o.submit)
        return true;
    const submit_options& s = *o.submit;
    if (s.url.empty())
        return fail(error, "--submit-... settings need --submit URL");
    if (s.url.rfind("https://", 0) != 0)
        return fail(error, "--submit takes an https:// URL, not \"" + shown_url(s.url) + "\"");
    if (o.format != default_format() && o.format != host_results_format())
        return fail(error, "--submit sends " + host_results_format() + " results: no --format but " +
                               host_results_format());
    o.format = host_results_format();
    if (s.user.empty() != s.password_file.empty())
        return fail(error, "--submit-user and --submit-password-file go together");
    if (s.cert.empty() != s.key.empty())
        return fail(error, "--submit-cert and --submit-key go together");
    if (s.user.empty() && s.cert.empty())
        return fail(
            error,
            "--submit needs --submit-user with --submit-password-file, or --submit-cert with --submit-key");
    return true;
}

bool check_hosts(console_options& o, std::string& error)
{
    if (!o.hosts)
        return true;
    if (o.ssh || o.agent || o.host)
        return fail(error, "--hosts names the hosts: no --ssh, --agent or --host with it");
    // discover's configuration formats are judged with the command (options.cpp).
    if (o.format != default_format() && !fleet_format(o.format) &&
        !format_serves(o.format, format_use::configuration))
        return fail(error, hosts_format_problem);
    if (o.format == default_format())
        o.format = host_results_format();
    return true;
}

std::string shown_url(const std::string& url)
{
    // The user information ends at the last '@' before the path, the query or the fragment.
    const std::size_t scheme = url.find("://");
    const std::size_t from = scheme == std::string::npos ? 0 : scheme + 3;
    const std::size_t authority_end = std::min(url.find_first_of("/?#", from), url.size());
    const std::size_t at = url.rfind('@', authority_end);
    if (at == std::string::npos || at < from)
        return url;
    const std::size_t colon = url.find(':', from);
    if (colon == std::string::npos || colon > at)
        return url;
    return url.substr(0, colon + 1) + "***" + url.substr(at);
}

} // namespace dorv
