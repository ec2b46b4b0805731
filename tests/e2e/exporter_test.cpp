// dorv-console serve under a real Prometheus server: Debian's prometheus, on loopback with
// the shipped scrape configuration, scrapes the exporter for a host over the test sshd;
// its query API gives dorv_up 1 and the figures that dorv-console gives for the same
// checks. promtool passes every answer; a target that is not in the host file is refused
// without any ssh; a host that hangs is dorv_up 0 within the scrape's timeout.
#include <arpa/inet.h>
#include <curl/curl.h>
#include <fcntl.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <chrono>
#include <cmath>
#include <fstream>
#include <gtest/gtest.h>
#include <thread>

#include "e2e/console_harness.h"
#include "e2e/ssh_harness.h"
#include "support/fake_command.h"
#include "support/fixture.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

using clock_type = std::chrono::steady_clock;

struct http_result {
    long status = 0;
    std::string body;
};

std::size_t collect(char* data, std::size_t size, std::size_t n, void* body)
{
    static_cast<std::string*>(body)->append(data, size * n);
    return size * n;
}

http_result http_get(const std::string& url, const std::string& header = "")
{
    http_result r;
    CURL* curl = curl_easy_init();
    curl_slist* headers = header.empty() ? nullptr : curl_slist_append(nullptr, header.c_str());
    curl_easy_setopt(curl, CURLOPT_URL, url.c_str());
    curl_easy_setopt(curl, CURLOPT_HTTPHEADER, headers);
    curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, collect);
    curl_easy_setopt(curl, CURLOPT_WRITEDATA, &r.body);
    curl_easy_setopt(curl, CURLOPT_TIMEOUT, 30L);
    curl_easy_setopt(curl, CURLOPT_NOPROXY, "*");
    if (curl_easy_perform(curl) == CURLE_OK)
        curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &r.status);
    curl_slist_free_all(headers);
    curl_easy_cleanup(curl);
    return r;
}

// Waits (30 s at most) until ready() holds, looking again every 50 ms.
template <class F> bool within_30s(F ready)
{
    auto until = clock_type::now() + std::chrono::seconds(30);
    while (!ready() && clock_type::now() < until)
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    return ready();
}

// promtool check metrics on text: "" when it passes, else what it said.
std::string promtool_says(const std::string& text)
{
    const temp_file in(text), said("");
    int fd_in = ::open(in.path().c_str(), O_RDONLY);
    int fd_out = ::open(said.path().c_str(), O_WRONLY);
    launch how;
    how.argv = {"promtool", "check", "metrics"};
    how.program = "/usr/bin/promtool";
    how.stdio = {fd_in, fd_out, fd_out};
    process p(how);
    ::close(fd_in);
    ::close(fd_out);
    int status = p.wait_for(std::chrono::seconds(30));
    return status == 0 ? "" : "status " + std::to_string(status) + ": " + read_file(said.path());
}

// The value of the first sample of a query API answer ("value":[TIME,"V"]); NaN when none.
double query_value(const std::string& body)
{
    std::size_t at = body.find("\"value\":[");
    if (at == std::string::npos)
        return NAN;
    std::size_t quote = body.find('"', body.find(',', at));
    return std::strtod(body.c_str() + quote + 1, nullptr);
}

// The figure value of check in the console's JSON lines.
double json_figure(const std::string& json, const std::string& check)
{
    std::size_t at = json.find("\"check\":\"" + check + "\"");
    std::size_t v = json.find("\"value\":", json.find("\"figure\"", at));
    return at == std::string::npos || v == std::string::npos ? NAN
                                                             : std::strtod(json.c_str() + v + 8, nullptr);
}

// The shipped scrape configuration with this test's exporter, target and a quick interval.
std::string scrape_config(const std::string& exporter, const std::string& target)
{
    std::string text = read_file(std::string(DORV_SOURCE_DIR) + "/contrib/prometheus/dorv.yml");
    const std::pair<std::string, std::string> changes[] = {
        {"127.0.0.1:9089", exporter},
        {"          - web1\n          - db1\n", "          - " + target + "\n"},
        {"scrape_interval: 60s", "scrape_interval: 10s"},
        {"scrape_timeout: 20s", "scrape_timeout: 10s"}};
    for (const auto& [from, to] : changes) {
        EXPECT_NE(text.find(from), std::string::npos) << from;
        for (std::size_t at; (at = text.find(from)) != std::string::npos;)
            text.replace(at, from.size(), to);
    }
    return text;
}

} // namespace

TEST(Exporter, PrometheusScrapesAHostOverSshAndGetsTheConsolesFigures)
{
    if (::access(DORV_EXPORTER, X_OK) != 0 || ::access("/usr/bin/prometheus", X_OK) != 0)
        GTEST_SKIP() << "needs dorv-exporter and Debian's prometheus";
    const temp_dir bin;
    fake_command(bin.dir(), "vmstat", fixture("vmstat/linux-procps.txt"));
    START_SSHD(sshd, "", "PATH=" + bin.path("bin") + ":/usr/bin:/bin " + DORV_AGENT);
    // A host whose ssh connects but never hears a greeting.
    int silent = ::socket(AF_INET, SOCK_STREAM, 0);
    int silent_port = free_port();
    sockaddr_in a{};
    a.sin_family = AF_INET;
    a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    a.sin_port = htons(static_cast<uint16_t>(silent_port));
    ASSERT_EQ(::bind(silent, reinterpret_cast<sockaddr*>(&a), sizeof a), 0);
    ::listen(silent, 8);
    const temp_file hosts("dorv-test\nssh://dorv@127.0.0.1:" + std::to_string(silent_port) + " hang\n");
    const temp_file log("");

    launch how = sshd.console_launch({});
    how.argv = {DORV_CONSOLE,   "serve", "--hosts",      hosts.path(),      "--listen", "127.0.0.1:0",
                "--ssh-option", "-F",    "--ssh-option", sshd.ssh_config(), "-t",       "20"};
    int log_fd = ::open(log.path().c_str(), O_WRONLY);
    how.stdio = {inherit, inherit, log_fd};
    process exporter(how);
    ::close(log_fd);
    std::string address;
    ASSERT_TRUE(within_30s([&] {
        std::string text = read_file(log.path());
        std::size_t at = text.find("serving ");
        address = at == std::string::npos ? "" : text.substr(at + 8, text.find('\n', at) - at - 8);
        return !address.empty();
    })) << read_file(log.path());
    const std::string base = "http://" + address;

    // An unlisted target: refused, and no ssh started.
    int before = sshd.connections();
    http_result refused = http_get(base + "/probe?target=127.0.0.1");
    EXPECT_EQ(refused.status, 400);
    EXPECT_EQ(http_get(base + "/probe?target=dorv-test&module=nope").status, 400);
    EXPECT_EQ(sshd.connections(), before);
    EXPECT_EQ(sshd.control_sockets().size(), 0u);

    // A host that hangs: dorv_up 0 within the scrape's 2 s.
    auto start = clock_type::now();
    http_result hung = http_get(base + "/probe?target=hang", "X-Prometheus-Scrape-Timeout-Seconds: 2");
    double took = std::chrono::duration<double>(clock_type::now() - start).count();
    EXPECT_EQ(hung.status, 200);
    EXPECT_NE(hung.body.find("\ndorv_up 0\n"), std::string::npos) << hung.body;
    EXPECT_LT(took, 2.0);
    EXPECT_EQ(promtool_says(hung.body), "");

    // A probe with -t's time: the host's connection is made and kept, and the console
    // has the checks' parameters, as on a running exporter.
    http_result first = http_get(base + "/probe?target=dorv-test");
    EXPECT_EQ(first.status, 200);
    ASSERT_NE(first.body.find("\ndorv_up 1\n"), std::string::npos) << first.body << read_file(log.path());
    EXPECT_EQ(promtool_says(first.body), "");

    // Prometheus with the shipped configuration.
    const temp_dir prom;
    const int prom_port = free_port();
    std::ofstream(prom.path("prometheus.yml")) << scrape_config(address, "dorv-test");
    launch p;
    p.argv = {"prometheus", "--config.file=" + prom.path("prometheus.yml"),
              "--storage.tsdb.path=" + prom.path("data"),
              "--web.listen-address=127.0.0.1:" + std::to_string(prom_port)};
    p.program = "/usr/bin/prometheus";
    int prom_log = ::open(prom.path("log").c_str(), O_WRONLY | O_CREAT, 0600);
    p.stdio = {inherit, prom_log, prom_log};
    process prometheus(p);
    ::close(prom_log);
    const std::string api = "http://127.0.0.1:" + std::to_string(prom_port) + "/api/v1/query?query=";
    const std::string up = api + "dorv_up%7Binstance%3D%22dorv-test%22%7D";
    ASSERT_TRUE(within_30s([&] { return query_value(http_get(up).body) == 1; })) << http_get(up).body << "\n"
                                                                                 << read_file(log.path());

    // The figures equal the console's at that moment, as far as a second can change them.
    console_result direct = sshd.console({"--format", "json", "run-all"});
    auto scraped = [&](const std::string& query) { return query_value(http_get(api + query).body); };
    EXPECT_DOUBLE_EQ(scraped("dorv_cpu_load_ratio"), json_figure(direct.out, "CPU") / 100);
    EXPECT_NEAR(scraped("dorv_filesystem_free_ratio%7Bmountpoint%3D%22%2F%22%7D"),
                1 - json_figure(direct.out, "DiskSpace") / 100, 0.011);
    EXPECT_NEAR(scraped("dorv_memory_free_ratio"), json_figure(direct.out, "RAM") / 100, 0.021);
    EXPECT_NEAR(scraped("dorv_swap_free_ratio"), json_figure(direct.out, "Swap") / 100, 0.011);
    // run-all's process is the agent when it runs as a user of process_users, else the
    // first the host lists: the one the console ran, asked by its name.
    std::size_t named = direct.out.find("\"Select Process\":\"");
    ASSERT_NE(named, std::string::npos) << direct.out;
    std::string process = direct.out.substr(named + 18, direct.out.find('"', named + 18) - named - 18);
    char* quoted = curl_easy_escape(nullptr, ("dorv_process_running{name=\"" + process + "\"}").c_str(), 0);
    EXPECT_EQ(scraped(quoted),
              direct.out.find("\"check\":\"Processes\"", 0) != std::string::npos &&
                  direct.out.find("\"status\":\"up\",\"text\":\"Process ") != std::string::npos);
    curl_free(quoted);

    // The exporter's own figures.
    http_result own_answer = http_get(base + "/metrics");
    EXPECT_EQ(own_answer.status, 200);
    EXPECT_EQ(promtool_says(own_answer.body), "") << own_answer.body;
    const std::string& own = own_answer.body;
    EXPECT_NE(own.find("dorv_exporter_probe_failures_total{cause=\"unlisted_target\"} 1\n"),
              std::string::npos)
        << own;
    EXPECT_NE(own.find("dorv_exporter_kept_connections 1\n"), std::string::npos) << own;
    EXPECT_EQ(http_get(base + "/").status, 200);
    ::close(silent);
}
