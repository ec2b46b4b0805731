// The local agent: its binary run directly, by default the one beside the console.
#include "console/companions/companion.h"
#include "console/transport/transport.h"

namespace dorv {

namespace {

// The agent binary beside the running program (self_path is argv[0] when the system does
// not tell where the running executable is).
std::string default_agent_path(const std::string& self_path)
{
    std::string self = running_executable().value_or(self_path);
    auto slash = self.rfind('/');
    // Started through PATH: the agent is found the same way.
    if (slash == std::string::npos)
        return "dorv";
    return self.substr(0, slash + 1) + "dorv";
}

} // namespace

bool wants_local(const transport_setup&)
{
    return true;
}

transport make_local_transport(const transport_setup& setup, std::string&)
{
    transport t;
    t.argv = {setup.agent.value_or(default_agent_path(setup.self_path))};
    t.key = t.argv[0];
    return t;
}

} // namespace dorv
