// The exporter's answers.
#include "exporter/exporter.h"

#include <dirent.h>
#include <sys/stat.h>

#include <algorithm>
#include <cctype>
#include <cstdlib>

#include "console/transport/ssh_reuse.h"
#include "exporter/probe_run.h"
#include "metrics/dorv_families.h"

namespace dorv {

namespace {

using clock_type = std::chrono::steady_clock;

const char* const exposition_type = "text/plain; version=0.0.4; charset=utf-8";

// More than any run of the console prints.
constexpr std::size_t max_answer = 4 << 20;

const std::pair<probe_failure, const char*> failure_names[] = {
    {probe_failure::unlisted_target, "unlisted_target"},
    {probe_failure::unknown_module, "unknown_module"},
    {probe_failure::busy, "busy"},
    {probe_failure::host_down, "host_down"},
    {probe_failure::deadline, "deadline"},
    {probe_failure::console, "console"},
};

constexpr metric_family probes_family{"dorv_exporter_probes_total", "counter", "Probes run, by module"};
constexpr metric_family seconds_family{"dorv_exporter_probe_seconds_total", "counter",
                                       "Seconds spent in probes"};
constexpr metric_family failures_family{
    "dorv_exporter_probe_failures_total", "counter",
    "Probes that gave no figures of their host, by cause: a target or module not configured, no free "
    "probe slot, a host that did not answer (dorv_up 0), the deadline, a console that gave nothing"};
constexpr metric_family running_family{"dorv_exporter_probes_running", "gauge", "Probes running now"};
constexpr metric_family kept_family{
    "dorv_exporter_kept_connections", "gauge",
    "ssh master connections kept for reuse by this account (control sockets)"};

http_answer plain(int status, const std::string& text)
{
    return {status, "text/plain; charset=utf-8", text + "\n"};
}

std::string html_escape(const std::string& s)
{
    std::string out;
    for (char c : s) {
        switch (c) {
        case '&':
            out += "&amp;";
            break;
        case '<':
            out += "&lt;";
            break;
        case '>':
            out += "&gt;";
            break;
        case '"':
            out += "&quot;";
            break;
        default:
            out += c;
        }
    }
    return out;
}

// A URL's query value: everything but unreserved characters percent-encoded.
std::string url_encode(const std::string& s)
{
    static const char hex[] = "0123456789ABCDEF";
    std::string out;
    for (char ch : s) {
        const auto c = static_cast<unsigned char>(ch);
        if (std::isalnum(c) || c == '-' || c == '_' || c == '.' || c == '~') {
            out += static_cast<char>(c);
        } else {
            out += '%';
            out += hex[c >> 4];
            out += hex[c & 15];
        }
    }
    return out;
}

// The control sockets of kept ssh masters.
long kept_connections()
{
    std::string why;
    std::optional<std::string> found = control_directory(control_candidates(), why);
    if (!found)
        return 0;
    const std::string& dir = *found;
    long n = 0;
    if (DIR* d = ::opendir(dir.c_str())) {
        while (const dirent* e = ::readdir(d)) {
            struct stat st {};
            if (::lstat((dir + "/" + e->d_name).c_str(), &st) == 0 && S_ISSOCK(st.st_mode))
                ++n;
        }
        ::closedir(d);
    }
    return n;
}

double since(clock_type::time_point t)
{
    return std::chrono::duration<double>(clock_type::now() - t).count();
}

} // namespace

exporter::exporter(serve_options options, std::vector<host_entry> hosts, std::vector<probe_module> modules)
    : o_(std::move(options)), hosts_(std::move(hosts)), modules_(std::move(modules))
{
    for (const auto& [why, name] : failure_names)
        failures_[why] = 0;
    for (const probe_module& m : modules_)
        probes_[m.name] = 0;
}

double exporter::probe_seconds(const std::optional<std::string>& scrape_timeout, double cap)
{
    if (!scrape_timeout)
        return cap;
    char* end = nullptr;
    double t = std::strtod(scrape_timeout->c_str(), &end);
    if (scrape_timeout->empty() || *end != '\0' || !(t > 0))
        return cap;
    // Half a second for the answer to travel; a very short timeout keeps half of itself.
    return std::min(cap, t > 1 ? t - 0.5 : t / 2);
}

http_answer exporter::handle(const http_request& request)
{
    if (request.method != "GET")
        return plain(405, "only GET is served");
    if (request.path == "/probe")
        return probe(request);
    if (request.path == "/metrics")
        return own_metrics();
    if (request.path == "/")
        return index_page();
    return plain(404, "no such page: try /, /probe or /metrics");
}

const host_entry* exporter::find_target(const std::string& target) const
{
    for (const host_entry& h : hosts_)
        if (h.name == target || h.destination == target)
            return &h;
    return nullptr;
}

void exporter::count(probe_failure why)
{
    std::lock_guard<std::mutex> lock(mutex_);
    ++failures_[why];
}

bool exporter::take_slot(clock_type::time_point deadline)
{
    std::unique_lock<std::mutex> lock(mutex_);
    if (!slot_free_.wait_until(lock, deadline, [&] { return running_ < o_.max_probes; }))
        return false;
    ++running_;
    return true;
}

void exporter::give_slot()
{
    {
        std::lock_guard<std::mutex> lock(mutex_);
        --running_;
    }
    slot_free_.notify_one();
}

http_answer exporter::probe(const http_request& request)
{
    const auto start = clock_type::now();
    auto target = request.query.find("target");
    if (target == request.query.end() || target->second.empty())
        return plain(400, "a probe needs target=HOST");
    const host_entry* host = find_target(target->second);
    if (!host) {
        count(probe_failure::unlisted_target);
        return plain(400, "target \"" + target->second + "\" is not a host of " + o_.hosts_file);
    }
    auto module_arg = request.query.find("module");
    std::string module_name = module_arg == request.query.end() ? default_module : module_arg->second;
    const probe_module* module = find_module(modules_, module_name);
    if (!module) {
        count(probe_failure::unknown_module);
        return plain(400, "no module \"" + module_name + "\"");
    }
    const double seconds = probe_seconds(request.scrape_timeout, o_.timeout);
    const auto deadline =
        start + std::chrono::duration_cast<clock_type::duration>(std::chrono::duration<double>(seconds));
    if (!take_slot(deadline)) {
        count(probe_failure::busy);
        return plain(503, "too many probes at once (--max-probes " + std::to_string(o_.max_probes) + ")");
    }
    // The console has its deadline a little before the probe's, so that it can still say
    // what it found and why it stopped.
    double console_seconds = std::max(0.05, seconds - since(start) - 0.25);
    probe_run run = run_probe(probe_command(o_, *host, *module, console_seconds), deadline, max_answer);
    give_slot();
    std::string body = run.output;
    if (!run.complete || run.output.empty()) {
        count(run.complete || !run.error.empty() ? probe_failure::console : probe_failure::deadline);
        std::string why = !run.error.empty() ? run.error
                          : run.complete     ? "the console gave no metrics"
                                             : "no answer within " + std::to_string(seconds) + " s";
        body = families::unanswered({}, since(start), host->name + ": " + why);
    } else if (("\n" + body).find("\ndorv_up 0\n") != std::string::npos) {
        count(probe_failure::host_down);
    }
    {
        std::lock_guard<std::mutex> lock(mutex_);
        ++probes_[module->name];
        probe_seconds_ += since(start);
    }
    return {200, exposition_type, body};
}

http_answer exporter::own_metrics()
{
    exposition e;
    long kept = kept_connections();
    std::lock_guard<std::mutex> lock(mutex_);
    for (const auto& [name, n] : probes_)
        e.add(probes_family, {{"module", name}}, static_cast<double>(n));
    e.add(seconds_family, {}, probe_seconds_);
    for (const auto& [why, name] : failure_names)
        e.add(failures_family, {{"cause", name}}, static_cast<double>(failures_[why]));
    e.add(running_family, {}, running_);
    e.add(kept_family, {}, static_cast<double>(kept));
    return {200, exposition_type, e.text()};
}

http_answer exporter::index_page() const
{
    std::string rows;
    for (const host_entry& h : hosts_) {
        rows += "<tr><td>" + html_escape(h.name) + "</td><td>";
        for (const probe_module& m : modules_)
            rows += "<a href=\"/probe?target=" + html_escape(url_encode(h.name)) +
                    "&amp;module=" + html_escape(url_encode(m.name)) + "\">" + html_escape(m.name) + "</a> ";
        rows += "</td></tr>\n";
    }
    std::string modules;
    for (const probe_module& m : modules_) {
        std::string runs;
        for (const auto& words : m.commands) {
            std::string line;
            for (const auto& w : words)
                line += (line.empty() ? "" : " ") + w;
            runs += (runs.empty() ? "" : " + ") + line;
        }
        modules += "<li><b>" + html_escape(m.name) + "</b>: " + html_escape(runs) + "</li>\n";
    }
    return {200, "text/html; charset=utf-8",
            "<!DOCTYPE html>\n<html><head><title>dorv exporter</title></head><body>\n<h1>dorv exporter</h1>\n"
            "<p><a href=\"/metrics\">The exporter's own metrics</a></p>\n<h2>Targets</h2>\n<table>\n"
            "<tr><th>Host</th><th>Probe with module</th></tr>\n" +
                rows + "</table>\n<h2>Modules</h2>\n<ul>\n" + modules + "</ul>\n</body></html>\n"};
}

} // namespace dorv
