// A run over every host of a host file.
#include "console/fleet/host_run.h"

#include <unistd.h>

#include <chrono>
#include <cstdlib>
#include <ctime>
#include <fstream>
#include <map>
#include <sstream>

#include "console/fleet/result_relay.h"
#include "console/output/config_safety.h"
#include "console/session/commands.h"
#include "console/text/text.h"
#include "metrics/dorv_families.h"
#include "metrics/exposition.h"

namespace dorv {

namespace {

const std::string one_host_flag = "--one-host";

// The options of one host's session.
console_options host_options(const console_options& o, const host_entry& host)
{
    console_options h = o;
    h.hosts.reset();
    h.submit.reset();
    h.ssh = host.destination;
    h.host = host.name;
    // Metrics and discover's configuration are each host's own; results are passive.
    h.format = fleet_format(o.format) || o.commands[0].verb == "discover" ? o.format : host_results_format();
    return h;
}

// Text written to a stream in memory; "" when the stream could not be had.
class memory_stream {
  public:
    memory_stream() : file_(::open_memstream(&text_, &size_)) {}
    ~memory_stream()
    {
        if (file_)
            std::fclose(file_);
        std::free(text_);
    }
    memory_stream(const memory_stream&) = delete;
    memory_stream& operator=(const memory_stream&) = delete;

    std::FILE* file() const { return file_; }
    std::string text()
    {
        if (!file_ || std::fflush(file_) != 0)
            return "";
        return std::string(text_, size_);
    }

  private:
    char* text_ = nullptr;
    std::size_t size_ = 0;
    std::FILE* file_;
};

// Keeps the results handed to it.
class result_collector : public result_sink {
  public:
    bool send(const passive_result& r, send_deadline, std::string&) override
    {
        results.push_back(r);
        return true;
    }
    std::vector<passive_result> results;
};

// A session that was never had: every request fails with why.
class no_session : public agent_session {
  public:
    explicit no_session(std::string why) : why_(std::move(why)) {}
    bool request(const std::string&, const param_array&, param_array&, std::string& error) override
    {
        error = why_;
        return false;
    }

  private:
    std::string why_;
};

// The results of a host whose session could not be had: each of its services UNKNOWN with
// why, as a session of its own that failed to open would have told them.
std::vector<passive_result> unanswered(const console_options& h, const std::string& why)
{
    no_session none(why);
    param_cache nothing("", "");
    result_collector collected;
    std::unique_ptr<console_output> output =
        make_output(host_results_format(), {stdout, stderr, h.host, &collected});
    console_run runner(none, nothing, *output);
    runner.session_failed(h.commands[0], why);
    for (std::size_t i = 1; i < h.commands.size(); ++i)
        runner.not_run(h.commands[i]);
    runner.finish();
    return collected.results;
}

// Why a host's process gave no results.
std::string no_results(const host_report& r)
{
    if (!r.start_error.empty())
        return "its process could not be started: " + r.start_error;
    if (r.status < 0)
        return "its process was ended without its results";
    return "its process ended (exit status " + std::to_string(r.status) + ") without its results";
}

// The state of a run across its hosts.
struct fleet_delivery {
    std::size_t not_accepted = 0;
    bool api_late = false; // a host's results did not all reach the API in time
    // Under --format prometheus: each host's exposition, printed as one at the end.
    std::vector<std::string> expositions;
    // discover: each host's configuration by its name, printed at the end in name order,
    // so that two runs over unchanged hosts print the same bytes.
    std::map<std::string, std::string> configurations;
};

// A host that gave discover no configuration: a comment in the format's own sign, so that
// the file says whose services are missing (the run's exit status says so too).
std::string no_configuration(const std::string& format, const std::string& host, const std::string& why)
{
    const std::string text = "dorv-console discover: host " + shown(host) + " gave no configuration: " + why;
    if (format == "json")
        return "{\"generator\":\"dorv-console discover\",\"host\":" + json_string(host) +
               ",\"error\":" + json_string(why) + "}\n";
    return (format == "icinga2" ? "// " : "# ") + text + "\n";
}

// Hands a host's results on: printed, or sent; a host without them gets UNKNOWN results,
// and false is returned.
bool pass_on(const console_options& o, const host_entry& host, const host_report& r, result_sink* sink,
             fleet_delivery& d, std::FILE* out, std::FILE* err)
{
    std::optional<host_results> got = decode_host_results(r.output);
    const bool answered = got.has_value() && (o.commands[0].verb != "discover" || r.status == 0);
    if (o.commands[0].verb == "discover") {
        if (!answered)
            std::fprintf(err, "dorv-console: %s: no configuration: %s\n", host.name.c_str(),
                         got ? "its agent could not be asked" : no_results(r).c_str());
        d.configurations[host.name] =
            answered ? got->printed : no_configuration(o.format, host.name, "see the run's messages");
        return answered;
    }
    if (!got) {
        const std::string why = no_results(r);
        std::fprintf(err, "dorv-console: %s: %s\n", host.name.c_str(), why.c_str());
        got = host_results{"", unanswered(host_options(o, host), "no results: " + why)};
        if (o.format == "prometheus")
            got->printed = families::unanswered({{"host", host.name}}, r.seconds, host.name + ": " + why);
    }
    if (o.format == "prometheus") {
        d.expositions.push_back(got->printed);
        return answered;
    }
    std::fputs(got->printed.c_str(), out);
    if (!sink) {
        std::fputs(passive_lines(got->results, std::time(nullptr)).c_str(), out);
        std::fflush(out);
        return answered;
    }
    std::fflush(out);
    // An API that ran out of one host's time is not given every later host's as well.
    if (d.api_late) {
        std::fprintf(err, "dorv-console: %s: %zu results not sent: the API missed an earlier deadline\n",
                     host.name.c_str(), got->results.size());
        d.not_accepted += got->results.size();
        return answered;
    }
    const auto start = std::chrono::steady_clock::now();
    std::size_t failed = deliver(*sink, got->results, o.timeout, err);
    d.not_accepted += failed;
    d.api_late = failed > 0 &&
                 std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count() >= o.timeout;
    return answered;
}

// The hosts of the host file; nothing, after saying why, when it cannot be read.
std::optional<std::vector<host_entry>> read_hosts(const std::string& path, std::FILE* err)
{
    std::ifstream in(path);
    std::ostringstream text;
    if (!in || !(text << in.rdbuf())) {
        std::fprintf(err, "dorv-console: cannot read the host file %s\n", path.c_str());
        return std::nullopt;
    }
    std::string error;
    std::vector<host_entry> hosts = parse_host_list(text.str(), error);
    if (!error.empty()) {
        std::fprintf(err, "dorv-console: %s: %s\n", path.c_str(), error.c_str());
        return std::nullopt;
    }
    return hosts;
}

// -j, lowered to what the descriptor limit allows.
std::size_t jobs_of(const console_options& o, std::FILE* err)
{
    const std::size_t asked = static_cast<std::size_t>(o.jobs);
    const std::size_t free = free_descriptors();
    const std::size_t jobs = jobs_within(asked, free);
    if (jobs < asked)
        std::fprintf(err, "dorv-console: -j %zu lowered to %zu: %zu descriptors are free (ulimit -n)\n",
                     asked, jobs, free);
    return jobs;
}

} // namespace

std::vector<std::string> host_process_args(const host_entry& host, const std::vector<std::string>& args)
{
    std::vector<std::string> out = {one_host_flag, host.destination, host.name};
    out.insert(out.end(), args.begin(), args.end());
    return out;
}

std::optional<host_entry> take_host_process_args(std::vector<std::string>& args)
{
    if (args.size() < 3 || args[0] != one_host_flag)
        return std::nullopt;
    host_entry host{args[1], args[2]};
    args.erase(args.begin(), args.begin() + 3);
    return host;
}

int run_host_process(const console_options& o, const host_entry& host, const session_runner& session,
                     std::FILE* out, std::FILE* err)
{
    const console_options h = host_options(o, host);
    memory_stream printed, messages;
    result_collector collected;
    int status = exit_unknown;
    if (printed.file() && messages.file())
        status = session(h, &collected, printed.file(), messages.file());
    else
        std::fprintf(err, "dorv-console: %s: no memory for the session's output\n", host.name.c_str());
    std::istringstream lines(messages.text());
    const std::string prefix = "dorv-console: ";
    for (std::string line; std::getline(lines, line);)
        std::fprintf(err, "%s%s: %s\n", prefix.c_str(), host.name.c_str(),
                     line.rfind(prefix, 0) == 0 ? line.c_str() + prefix.size() : line.c_str());
    std::fflush(err);
    if (printed.file() && messages.file()) {
        const std::string encoded = encode_host_results({printed.text(), collected.results});
        std::fwrite(encoded.data(), 1, encoded.size(), out);
    }
    return std::fflush(out) == 0 ? status : exit_unknown;
}

int run_host_list(const console_options& o, const host_command& command, result_sink* sink, std::FILE* out,
                  std::FILE* err)
{
    std::optional<std::vector<host_entry>> hosts = read_hosts(*o.hosts, err);
    if (!hosts)
        return exit_unknown;
    many_hosts_settings settings;
    settings.jobs = jobs_of(o, err);
    settings.deadline_seconds = o.timeout;
    settings.progress = ::isatty(::fileno(err)) != 0;
    std::vector<host_report> reports;
    fleet_delivery delivery;
    auto start = std::chrono::steady_clock::now();
    run_hosts(
        *hosts, settings, command,
        [&](host_report& r) {
            if (!pass_on(o, (*hosts)[r.index], r, sink, delivery, out, err))
                r.status = -1;
            reports.push_back(r);
        },
        err);
    if (o.format == "prometheus")
        std::fputs(merge_expositions(delivery.expositions).c_str(), out);
    for (const auto& [name, text] : delivery.configurations)
        std::fputs(text.c_str(), out);
    double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::fprintf(err, "dorv-console: %s\n", hosts_summary(reports, seconds).c_str());
    bool any_failed = delivery.not_accepted > 0;
    for (const auto& r : reports)
        any_failed = any_failed || r.failed();
    return any_failed ? exit_unknown : 0;
}

} // namespace dorv
