// Connection reuse for ssh: OpenSSH's own multiplexing (ControlMaster=auto with a
// ControlPersist timer), one master per destination and set of ssh options, its control
// socket in a directory that only this user can enter; sessions on a live master are
// opened by the dorv-mux helper instead of a new ssh. A master that does not greet a
// client at once is taken for stale and its socket removed before ssh is run, so that ssh
// never waits on it; one that greets but opens no session is left by dorv-mux within its
// wait. What ssh says about multiplexing is kept out of the console's messages.
#pragma once

#include <chrono>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace dorv {

// Seconds a master stays after its last session, unless --reuse says otherwise.
inline constexpr int default_reuse_seconds = 300;

// The places for the control sockets, best first: $XDG_RUNTIME_DIR/dorv-console, then
// $XDG_CACHE_HOME/dorv-console/ssh or $HOME/.cache/dorv-console/ssh, then
// .cache/dorv-console/ssh in the user's home directory from the password database.
std::vector<std::string> control_candidates();

// The first of candidates that can hold control sockets; none when none can (why then says
// why). A directory is made with mode 0700 and used only when it is a real directory of
// this user that nobody else can enter, and its path leaves room for a socket name within
// the 107 bytes a socket address holds.
std::optional<std::string> control_directory(const std::vector<std::string>& candidates, std::string& why);

// The socket's name: 16 hex digits of a hash of the ssh arguments before the remote command
// (options and destination), so that options that change the connection get a master of their own.
std::string control_socket_name(const std::vector<std::string>& ssh_argv);

// True when the options already set up multiplexing (-S, -M, -O or a Control* option):
// then the user's own setting holds and the console adds none.
bool user_multiplexes(const std::vector<std::string>& ssh_options);

enum class master_state {
    none,    // no socket: the next ssh becomes the master
    alive,   // the master greeted within the bound
    removed, // dead, or silent within the bound: the socket has been removed
};

// Looks at the socket at path: connects and waits until bound for the master's greeting.
master_state probe_master(const std::string& path, std::chrono::steady_clock::time_point bound);

struct reuse_settings {
    int seconds = default_reuse_seconds;            // the master's life after its last session
    std::chrono::steady_clock::time_point deadline; // the check's
    bool verbose = false;                           // dorv-mux says which way it went
};

// What reuse adds to an ssh command line.
struct reuse_plan {
    std::vector<std::string> helper; // dorv-mux and its arguments, run in front of ssh; none: ssh itself
    std::vector<std::string> first;  // options before the user's own
    std::vector<std::string> last;   // options after the user's own (ssh lets the first value win)
};

// Multiplexing for reuse.seconds on the ssh command ssh_argv (ssh, options, "--",
// destination) that will run remote_command: nothing for seconds 0, options that
// multiplex already, or no safe directory (note says why in the last case). A stale
// socket is removed first, bounded by a quarter of the time to the deadline and 2 s at
// most. A new master gets keepalives. Over a live master, dorv-mux (a companion program)
// opens the session without starting ssh, waiting half the time left and 5 s at most;
// else ssh becomes the master.
reuse_plan plan_reuse(const std::vector<std::string>& ssh_argv, const std::string& remote_command,
                      const reuse_settings& reuse, std::string& note);

// True for what ssh writes about multiplexing itself (a refused session, a stale or
// existing control socket): such a line is never the cause of a failure.
bool ssh_mux_noise(std::string_view line);

} // namespace dorv
