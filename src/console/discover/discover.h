// The discover command: asks one agent what it offers and prints scheduler configuration
// for it in a configuration format (output/discovered.h).
#pragma once

#include <cstdio>
#include <string>

#include "console/session/client.h"

namespace dorv {

struct discover_settings {
    std::string format; // a format that prints configuration: "nagios", "icinga2", "json"
    std::string host;   // the scheduler's name of the host
    bool all_mounts = false;
};

// Opens client's session, gathers the facts and prints the configuration on out. The exit
// status: 0 when it was printed, 3 (with the reason on err, nothing on out) when the
// session failed.
int discover_host(console_client& client, const discover_settings& s, std::FILE* out, std::FILE* err);

} // namespace dorv
