// The discover command over one agent session.
#include "console/discover/discover.h"

#include <optional>

#include "console/discover/facts.h"
#include "console/output/format.h"
#include "console/results/run_result.h"

namespace dorv {

int discover_host(console_client& client, const discover_settings& s, std::FILE* out, std::FILE* err)
{
    std::string error;
    std::optional<host_facts> facts;
    if (client.open(error)) {
        facts = gather_facts(client, s.host, s.all_mounts, error);
        client.close();
    }
    if (!facts) {
        // Nothing is printed: half a host's configuration would drop its other services.
        std::fprintf(err, "dorv-console: discover %s: %s\n", s.host.c_str(), error.c_str());
        return exit_unknown;
    }
    const std::string text = configuration_text(s.format, *facts);
    std::fwrite(text.data(), 1, text.size(), out);
    return 0;
}

} // namespace dorv
