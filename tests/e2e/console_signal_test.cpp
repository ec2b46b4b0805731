// A console ended by SIGTERM, SIGINT or SIGHUP while its agent's probe hangs takes the
// agent and the probe with it.
#include <gtest/gtest.h>
#include <signal.h>

#include <cstdio>
#include <sstream>

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
