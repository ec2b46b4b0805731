// The exporter's answers: GET /probe?target=HOST&module=NAME runs the module's checks on a
// host of the host file through the console and gives its metrics; /metrics the
// exporter's own; / a page that lists the targets and modules. A target that is not in
// the host file is refused before anything runs. Probes at once are bounded; one beyond
// the bound waits for a slot until its deadline, then answers 503.
#pragma once

#include <atomic>
#include <condition_variable>
#include <map>
#include <mutex>
#include <string>
#include <vector>

#include "console/fleet/host_list.h"
#include "exporter/http_server.h"
#include "exporter/modules.h"
#include "exporter/serve_options.h"

namespace dorv {

// Why a probe gave no metrics of the host, as /metrics counts them.
enum class probe_failure { unlisted_target, unknown_module, busy, host_down, deadline, console };

class exporter {
  public:
    exporter(serve_options options, std::vector<host_entry> hosts, std::vector<probe_module> modules);

    http_answer handle(const http_request& request);

    // The time a probe has: the scrape's timeout less half a second, at most -t.
    static double probe_seconds(const std::optional<std::string>& scrape_timeout, double cap);

  private:
    http_answer probe(const http_request& request);
    http_answer own_metrics();
    http_answer index_page() const;
    const host_entry* find_target(const std::string& target) const;
    void count(probe_failure why);
    // Takes a probe slot, waiting until deadline; false when none came free.
    bool take_slot(std::chrono::steady_clock::time_point deadline);
    void give_slot();

    serve_options o_;
    std::vector<host_entry> hosts_;
    std::vector<probe_module> modules_;

    std::mutex mutex_; // guards what follows
    std::condition_variable slot_free_;
    int running_ = 0;
    std::map<std::string, unsigned long> probes_; // by module
    double probe_seconds_ = 0;
    std::map<probe_failure, unsigned long> failures_;
};

} // namespace dorv
