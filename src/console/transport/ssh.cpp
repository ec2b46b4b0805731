// The agent over ssh: ssh [options] -- destination remote_command, with connection reuse.
#include "console/transport/ssh_reuse.h"
#include "console/transport/transport.h"

namespace dorv {

bool wants_ssh(const transport_setup& setup)
{
    return setup.ssh.has_value();
}

transport make_ssh_transport(const transport_setup& setup, std::string& note)
{
    // The plain command: "--" ends ssh's options, so a destination can never be taken for one.
    std::vector<std::string> plain = {"ssh"};
    plain.insert(plain.end(), setup.ssh_options.begin(), setup.ssh_options.end());
    plain.insert(plain.end(), {"--", *setup.ssh});
    const reuse_plan reuse =
        plan_reuse(plain, setup.remote_command, {setup.reuse_seconds, setup.deadline, setup.verbose}, note);

    transport t;
    t.argv = reuse.helper;
    t.argv.push_back("ssh");
    t.argv.insert(t.argv.end(), reuse.first.begin(), reuse.first.end());
    t.argv.insert(t.argv.end(), setup.ssh_options.begin(), setup.ssh_options.end());
    t.argv.insert(t.argv.end(), reuse.last.begin(), reuse.last.end());
    t.argv.insert(t.argv.end(), {"--", *setup.ssh, setup.remote_command});
    t.remote = true;
    t.host = *setup.ssh;
    t.remote_command = setup.remote_command;
    // Reuse leaves the agent's parameters where they were kept without it.
    for (const std::string& a : plain)
        t.key += a + " ";
    t.key += setup.remote_command;
    t.noise = ssh_mux_noise;
    return t;
}

} // namespace dorv
