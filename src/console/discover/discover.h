// The discover command: asks one agent, over the console's agent session, what it offers
// (the checks, their parameters and usual values), makes the host's services of it and
// prints them in a configuration format (output/discovered.h).
#pragma once

#include <cstdio>
#include <optional>
#include <string>

#include "console/output/discovered.h"
#include "console/session/agent_session.h"
#include "console/session/client.h"

namespace dorv {

// Mount points that hold no data of the host's own: where the kernel and the container
// and package runtimes mount their file systems (tmpfs, devtmpfs, proc-like, overlay,
// squashfs). The agent names mount points, not file system types; these places are where
// such file systems live. Left out of discovery unless every mount is asked for.
bool system_mount(const std::string& mount_point);

// Asks the agent behind session for its checks and their parameters. Nothing, with error
// set, when the session failed.
std::optional<host_facts> gather_facts(agent_session& session, const std::string& host, bool all_mounts,
                                       std::string& error);

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
