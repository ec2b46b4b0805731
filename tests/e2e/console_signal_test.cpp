// A console ended by SIGTERM, SIGINT or SIGHUP while its agent's probe hangs, or while a
// child is being started, takes the agent and the probe with it.
#include <gtest/gtest.h>
#include <signal.h>

#include <unistd.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <vector>

#include "e2e/agent_harness.h"
#include "e2e/console_harness.h"
#include "support/fake_command.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

TEST(ConsoleSignals, SignalOrTimeoutOfTheConsoleEndsItsAgentAndProbe)
{
    for (std::string sig : {"TERM", "INT", "HUP", "timeout"}) {
        SCOPED_TRACE(sig);
        bool timeout = sig == "timeout";
        const temp_dir home(config_dir("probe_timeout=60\n"));
        const std::string& dir = home.dir();
        // The probe records itself and the agent that started it, then hangs.
        write_script(dir + "/vmstat", "echo $$ $PPID > '" + dir + "/pids'\nexec sleep 100\n");
        write_script(dir + "/run",
                     "cd '" + dir + "' && PATH='" + dir +
                         "':$PATH && XDG_CACHE_HOME=\"$PWD\" && export PATH XDG_CACHE_HOME\n'" DORV_CONSOLE
                         "' --agent '" DORV_TEST_AGENT "' --timeout " +
                         (timeout ? "1" : "60") +
                         " run CPU 80 >/dev/null 2>&1 &\n"
                         "console=$!\nwhile [ ! -s pids ]; do sleep 0.01; done\n" +
                         (timeout ? "" : "kill -" + sig + " $console\n") + "wait $console\necho $?\n");
        std::FILE* p = ::popen(("'" + dir + "/run'").c_str(), "r");
        ASSERT_NE(p, nullptr);
        char buf[64] = "";
        std::string status = std::fgets(buf, sizeof buf, p) ? buf : "";
        ::pclose(p);
        // The console ends by the signal itself, as a scheduler expects; a timeout is unknown.
        int by = sig == "TERM" ? SIGTERM : sig == "INT" ? SIGINT : SIGHUP;
        EXPECT_EQ(status, timeout ? "3\n" : std::to_string(128 + by) + "\n");
        std::string probe, agent_pid;
        std::istringstream(read_file(dir + "/pids")) >> probe >> agent_pid;
        ASSERT_FALSE(agent_pid.empty());
        EXPECT_TRUE(ends_soon(probe)) << probe;
        EXPECT_TRUE(ends_soon(agent_pid)) << agent_pid;
    }
}

namespace {

// Processes whose command line holds marker (a test's own directory).
std::vector<pid_t> processes_with(const std::string& marker)
{
    std::vector<pid_t> found;
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos || std::stoi(name) == ::getpid())
            continue;
        std::string cmdline = read_file(entry.path() / "cmdline");
        if (cmdline.find(marker) != std::string::npos)
            found.push_back(std::stoi(name));
    }
    return found;
}

// Sends SIGTERM to target once delay has passed since start, spinning so that the moment
// is exact rather than a sleep's wake-up.
void signal_after(pid_t target, std::chrono::steady_clock::time_point start, std::chrono::microseconds delay)
{
    while (std::chrono::steady_clock::now() - start < delay) {
    }
    ::kill(target, SIGTERM);
}

// Every process whose command line holds marker ends; the group of one that does not is
// killed, so that a failure leaves nothing behind either.
void expect_none_left(const std::string& marker)
{
    for (pid_t pid : processes_with(marker)) {
        EXPECT_TRUE(ends_soon(pid)) << "left running: " << pid;
        ::kill(-pid, SIGKILL);
        ::kill(pid, SIGKILL);
    }
}

} // namespace

// A SIGTERM that reaches the agent while it is starting a probe ends that probe with the
// agent. The delays sweep the time from the request to the probe's start, so that some
// signals land inside the spawn itself.
TEST(AgentSignals, SignalWhileTheAgentStartsAProbeLeavesNoProbe)
{
    fake_commands probes;
    // A probe that stays, its script's path (in the test's directory) on its command line.
    probes.script("vmstat", "sleep 100 & wait\n");
    for (int i = 0; i < 120; ++i) {
        agent_options o;
        o.path_prefix = {probes.dir()};
        agent a(o);
        a.login();
        auto start = std::chrono::steady_clock::now();
        a.send("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#");
        signal_after(a.pid(), start, std::chrono::microseconds(25 * (i % 40)));
        EXPECT_EQ(a.wait(), -SIGTERM);
        expect_none_left(probes.dir());
    }
}

// The same for the console while it starts its agent: an agent that would stay (it does
// not end when its input does) is ended with the console.
TEST(ConsoleSignals, SignalWhileTheConsoleStartsItsAgentLeavesNoAgent)
{
    fake_commands fakes;
    fakes.script("agent", "sleep 100 & wait\n");
    const temp_dir home;
    std::vector<std::string> env = own_environment();
    set_variable(env, "XDG_CACHE_HOME", home.dir());
    for (int i = 0; i < 120; ++i) {
        launch how;
        how.argv = {DORV_CONSOLE, "--agent", fakes.path("agent"), "list"};
        how.env = env;
        how.stdio = {inherit, piped, piped};
        auto start = std::chrono::steady_clock::now();
        process console(how);
        signal_after(console.pid(), start, std::chrono::microseconds(50 * (i % 60)));
        EXPECT_EQ(console.wait_for(std::chrono::seconds(30)), -SIGTERM);
        expect_none_left(fakes.dir());
    }
}
