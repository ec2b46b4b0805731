// Discover's questions to one agent, over the console's agent session: the checks on
// offer, their parameters and usual values, and from them the host's services.
#pragma once

#include <optional>
#include <string>

#include "console/output/discovered.h"
#include "console/session/agent_session.h"

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

} // namespace dorv
