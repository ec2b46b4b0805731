// A console ended by SIGTERM, SIGINT or SIGHUP while its agent's probe hangs takes the
// agent and the probe with it.
#include <gtest/gtest.h>
#include <signal.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <sstream>
#include <thread>

#include "e2e/agent_harness.h"
#include "e2e/console_harness.h"

using namespace dorv_test;

namespace {

// True once the process has ended (a zombie of init counts as ended), waiting up to a second.
bool ends_soon(const std::string& pid)
{
    for (int i = 0; i < 200; ++i) {
        std::string stat = read_file("/proc/" + pid + "/stat");
        std::size_t close = stat.rfind(')');
        if (close == std::string::npos || stat[close + 2] == 'Z')
            return true;
        std::this_thread::sleep_for(std::chrono::milliseconds(5));
    }
    return false;
}

} // namespace

TEST(ConsoleSignals, SignalOrTimeoutOfTheConsoleEndsItsAgentAndProbe)
{
    for (std::string sig : {"TERM", "INT", "HUP", "timeout"}) {
        SCOPED_TRACE(sig);
        bool timeout = sig == "timeout";
        std::string dir = config_dir("probe_timeout=60\n");
        // The probe records itself and the agent that started it, then hangs.
        write_script(dir + "/vmstat", "echo $$ $PPID > '" + dir + "/pids'\nexec sleep 100\n");
        write_script(dir + "/run", "cd '" + dir + "' && PATH='" + dir +
                                       "':$PATH && export PATH\n'" DORV_CONSOLE "' --agent '" DORV_TEST_AGENT
                                       "' --timeout " +
                                       (timeout ? "1" : "60") +
                                       " run CPU 80 >/dev/null 2>&1 &\n"
                                       "console=$!\nwhile [ ! -s pids ]; do sleep 0.01; done\n" +
                                       (timeout ? "" : "kill -" + sig + " $console\n") +
                                       "wait $console\necho $?\n");
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
        std::filesystem::remove_all(dir);
    }
}
