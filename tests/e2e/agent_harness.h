// Drives a real agent binary through pipes: starts it in a private working directory with
// its own configuration, reads its login packet, sends requests and reads replies.
#pragma once

#include <sys/types.h>

#include <chrono>
#include <map>
#include <optional>
#include <string>
#include <vector>

#include "support/fixture.h"
#include "support/process.h"
#include "support/temp_dir.h"

namespace dorv_test {

struct agent_options {
    std::string binary = DORV_TEST_AGENT; // reads etc/dorv/dorv.ini under its directory
    std::optional<std::string> ssh_client = std::string("127.0.0.1 40000 22");
    // Contents of etc/dorv/dorv.ini; nothing writes the file when absent. Unless the text
    // sets a log itself, "[agent]\nlog=<dir>/trace.log" is put in front of it.
    std::optional<std::string> config = std::string();
    // Mode given to etc/dorv/dorv.ini once written.
    std::optional<unsigned> config_mode;
    // Directories put in front of PATH (fake probe commands).
    std::vector<std::string> path_prefix;
    std::map<std::string, std::string> env;
    // Arguments after the program name.
    std::vector<std::string> args;
    // Runs the agent as this user and group id (root only); the working directory is then
    // opened to everyone so that the agent can read its configuration and write its trace.
    std::optional<uid_t> uid;
    // Standard error goes to <dir>/stderr.txt instead of the test's own (see stderr_text).
    bool capture_stderr = false;
};

class agent {
  public:
    explicit agent(agent_options options = {});
    ~agent();
    agent(const agent&) = delete;
    agent& operator=(const agent&) = delete;

    // The working directory of this agent (holds etc/dorv/dorv.ini and trace.log).
    const std::string& dir() const { return dir_.dir(); }
    std::string trace_path() const { return dir_.path("trace.log"); }
    std::string trace() const;
    // What the agent wrote to the standard error it was started with (capture_stderr).
    std::string stderr_text() const { return read_file(dir_.path("stderr.txt")); }

    // Reads bytes until a whole packet (ending in '#' and decodable) has arrived, or the
    // agent closes its output, or the timeout passes. Returns what arrived.
    std::string read_packet(std::chrono::milliseconds timeout = std::chrono::seconds(20));
    // The login packet, read once; session_id() is taken from it.
    const std::string& login();
    const std::string& session_id();

    // Writes raw bytes to the agent's input.
    void write(const std::string& bytes);
    // Writes the bytes one at a time, each once the agent has taken the one before, so
    // that each of its reads returns one byte.
    void write_dribbled(const std::string& bytes);
    // Waits until the trace log holds text; false when the timeout passes first.
    bool wait_trace(const std::string& text,
                    std::chrono::milliseconds timeout = std::chrono::seconds(10)) const;
    // Writes a request with the header pairs and the given own pairs (already formatted as
    // "key=value#..." without the leading '#').
    void send(const std::string& action, const std::string& pairs);
    // send() then read_packet().
    std::string request(const std::string& action, const std::string& pairs);
    // Closes the agent's input.
    void close_input();
    // Closes the reading end of the agent's output (the console hangs up).
    void close_output();
    // Waits for the agent to end and returns its exit status (-signal when killed).
    int wait(std::chrono::milliseconds timeout = std::chrono::seconds(30));
    pid_t pid() const { return process_.pid(); }

  private:
    temp_dir dir_;    // goes once the agent has been killed
    process process_; // its input and output on pipes
    std::string login_;
    std::string session_id_;
};

// True when this test can bind files over others in a mount namespace of its own (root
// and unshare -m).
bool private_mounts_work();
// Writes the program wrapper: it runs mounts (shell commands) in a mount namespace of its
// own, then becomes binary there.
void write_namespace_wrapper(const std::string& wrapper, const std::string& mounts,
                             const std::string& binary);
// Options that start the agent of o through such a wrapper, written as dir/agent-in-namespace.
agent_options in_namespace(agent_options o, const std::string& dir, const std::string& mounts);

// Name of the user running the tests, from the password database ("" when unknown).
std::string user_name();

// Options that start the shipped agent, which reads /etc/dorv/dorv.ini, in a private mount
// namespace where that path holds "[agent]\nlog=<dir>/trace.log\n" and then config: bound
// over an existing /etc/dorv, or added by an overlay on /etc whose upper layer lives in
// the agent's directory. The real /etc is not written either way. Nothing when this is
// not possible here (not root, no unshare); an agent that then ends with status 125
// before its login packet found no way to mount.
std::optional<agent_options> shipped_agent(const std::string& config, const std::string& ssh_client);

} // namespace dorv_test
