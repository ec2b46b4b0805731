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

// Whether a mount point holds no data of the host's own: its file system type is a
// kernel's or a runtime's (tmpfs, devtmpfs, overlay, squashfs, the proc-like ones) or,
// when the agent did not tell the type (type ""), it lies where the kernel and the
// container and package runtimes mount such file systems (/proc, /sys, /dev, /run, /snap,
// /var/lib/docker, ...). Left out of discovery unless every mount is asked for.
bool system_mount(const std::string& mount_point, const std::string& type);

// Asks the agent behind session for its checks, their parameters and the file system types
// of the mount points. Nothing, with error set, when the session failed.
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
