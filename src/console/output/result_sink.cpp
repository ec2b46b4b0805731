// Delivering a run's passive results to a sink within the run's deadline.
#include "console/output/result_sink.h"

#include "console/text/text.h"

namespace dorv {

std::size_t deliver(result_sink& sink, const std::vector<passive_result>& results, double seconds,
                    std::FILE* err)
{
    const auto deadline =
        std::chrono::steady_clock::now() + std::chrono::duration_cast<std::chrono::steady_clock::duration>(
                                               std::chrono::duration<double>(seconds));
    std::size_t failed = 0;
    for (const auto& r : results) {
        char late[64];
        std::snprintf(late, sizeof late, "not sent: the delivery's %g s had passed", seconds);
        std::string why = late;
        if (std::chrono::steady_clock::now() < deadline && sink.send(r, deadline, why))
            continue;
        ++failed;
        std::fprintf(err, "dorv-console: the result of %s was not accepted: %s\n",
                     human_text(r.host + "!" + r.service).c_str(), why.c_str());
    }
    return failed;
}

} // namespace dorv
