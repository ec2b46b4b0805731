// A run over every host of a host file.
#include "console/host_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "console/many_hosts.h"
#include "metrics/dorv_families.h"

namespace dorv {

namespace {

// The options of one host's session.
console_options host_options(const console_options& o, const host_entry& host)
{
    console_options h = o;
    h.hosts.reset();
    h.submit.reset();
    h.ssh = host.destination;
    h.host = host.name;
    h.format = o.format; // passive or prometheus
    return h;
}

// Hands a host's result lines on: printed whole, or sent one by one; the count of
// results not accepted.
std::size_t pass_on(const host_report& r, result_sink* sink, std::FILE* out, std::FILE* err)
{
    if (!sink) {
        std::fputs(r.output.c_str(), out);
        std::fflush(out);
        return 0;
    }
    std::vector<passive_result> results;
    std::istringstream lines(r.output);
    for (std::string line; std::getline(lines, line);)
        if (auto p = parse_passive_line(line))
            results.push_back(std::move(*p));
    return deliver(*sink, results, err);
}

// Runs one host, its messages on err with "dorv-console: NAME: " in front.
int run_named(const std::function<int(const console_options&, std::FILE* err)>& one_host,
              const console_options& h, std::FILE* err)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* messages = ::open_memstream(&text, &size);
    int status = one_host(h, messages ? messages : err);
    if (!messages)
        return status;
    std::fclose(messages);
    std::istringstream lines(std::string(text, size));
    std::free(text);
    const std::string prefix = "dorv-console: ";
    for (std::string line; std::getline(lines, line);)
        std::fprintf(err, "%s%s: %s\n", prefix.c_str(), h.host->c_str(),
                     line.rfind(prefix, 0) == 0 ? line.c_str() + prefix.size() : line.c_str());
    return status;
}

} // namespace

int run_host_list(const console_options& o,
                  const std::function<int(const console_options&, std::FILE* err)>& one_host,
                  result_sink* sink, std::FILE* out, std::FILE* err)
{
    std::ifstream in(*o.hosts);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        std::fprintf(err, "dorv-console: cannot read the host file %s\n", o.hosts->c_str());
        return 3;
    }
    std::string error;
    std::vector<host_entry> hosts = parse_host_list(text.str(), error);
    if (!error.empty()) {
        std::fprintf(err, "dorv-console: %s: %s\n", o.hosts->c_str(), error.c_str());
        return 3;
    }
    many_hosts_settings settings;
    settings.jobs = static_cast<std::size_t>(o.jobs);
    settings.deadline_seconds = o.timeout;
    settings.progress = ::isatty(::fileno(err)) != 0;
    std::vector<host_report> reports;
    std::size_t not_accepted = 0;
    // Metrics are one exposition for all hosts, printed at the end; a host whose process
    // was killed has dorv_up 0.
    const bool metrics = o.format == "prometheus";
    std::vector<std::string> expositions;
    auto start = std::chrono::steady_clock::now();
    run_hosts(
        hosts, settings,
        [&](const host_entry& host) { return run_named(one_host, host_options(o, host), err); },
        [&](const host_report& r) {
            reports.push_back(r);
            if (metrics)
                expositions.push_back(
                    r.status < 0 ? families::unanswered({{"host", r.name}}, r.seconds, r.name + ": no answer")
                                 : r.output);
            else
                not_accepted += pass_on(r, sink, out, err);
        },
        err);
    if (metrics)
        std::fputs(merge_expositions(expositions).c_str(), out);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(err, "dorv-console: %s\n", hosts_summary(reports, seconds).c_str());
    bool any_failed = not_accepted > 0;
    for (const auto& r : reports)
        any_failed = any_failed || r.failed();
    return any_failed ? 3 : 0;
}

} // namespace dorv
