// The child owner under every way a command can stall: each ends by its deadline, and no
// process of its group is left.
#include "base/child.h"

#include <gtest/gtest.h>
#include <signal.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <filesystem>
#include <fstream>
#include <sstream>

#include "probes/command.h"
#include "support/capture.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

using namespace dorv;

namespace {

using clock_type = std::chrono::steady_clock;

// True while some process of the group is alive (a zombie counts as ended).
bool group_alive(pid_t pgid)
{
    for (const auto& entry : std::filesystem::directory_iterator("/proc")) {
        const std::string name = entry.path().filename();
        if (name.find_first_not_of("0123456789") != std::string::npos)
            continue;
        std::string text = dorv_test::read_file(entry.path() / "stat");
        // pid (comm) state ppid pgrp ...: the command name may hold blanks, the ')' ends it.
        std::size_t close = text.rfind(')');
        if (close == std::string::npos)
            continue;
        std::istringstream rest(text.substr(close + 1));
        char state = 0;
        pid_t ppid = 0, pgrp = 0;
        rest >> state >> ppid >> pgrp;
        if (pgrp == pgid && state != 'Z')
            return true;
    }
    return false;
}

// SIGKILL reaches the other members of a group a moment after kill() returns.
bool group_ends_soon(pid_t pgid)
{
    for (int i = 0; i < 100; ++i) {
        if (!group_alive(pgid))
            return true;
        ::usleep(5000);
    }
    return false;
}

pid_t read_pid(const std::string& path)
{
    pid_t pid = 0;
    std::ifstream(path) >> pid;
    return pid;
}

TEST(CommandDeadline, EveryStallEndsAtTheDeadlineWithItsGroup)
{
    dorv_test::temp_file pidfile("");
    const std::string record = "echo $$ > '" + pidfile.path() + "'; ";
    struct {
        const char* what;
        std::string command;
        std::size_t lines_before; // lines printed before the stall
    } const cases[] = {
        {"hangs", record + "sleep 100", 0},
        {"prints for ever", record + "while :; do echo y; done", 1000},
        {"closes its output and lingers", record + "echo one; exec >&-; sleep 100", 1},
        {"background grandchild holds the pipe", record + "echo one; (trap '' TERM HUP; sleep 100) & exit 0",
         1},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.what);
        dorv_test::stderr_capture trace;
        auto start = clock_type::now();
        command_pipe pipe(c.command, 1);
        std::string line;
        std::size_t lines = 0;
        while (pipe.next(line))
            ++lines;
        double seconds = std::chrono::duration<double>(clock_type::now() - start).count();
        EXPECT_GE(lines, c.lines_before);
        EXPECT_LT(seconds, 1.5);
        pid_t group = read_pid(pidfile.path());
        ASSERT_GT(group, 0);
        EXPECT_TRUE(group_ends_soon(group));
        if (c.what == std::string("background grandchild holds the pipe")) {
            // The shell ended by itself; what it left behind went with it, at once.
            EXPECT_FALSE(pipe.failure());
            EXPECT_LT(seconds, 0.9);
        } else {
            EXPECT_EQ(pipe.failure(), c.command + " did not finish within 1 s");
            EXPECT_NE(trace.text().find(c.command + " did not finish within 1 s\n"), std::string::npos);
        }
    }
}

TEST(CommandDeadline, ExitStatusAndSignalAreToldApart)
{
    dorv_test::stderr_capture trace;
    command_pipe killed("echo x; kill -KILL $$", 5);
    std::string line;
    while (killed.next(line)) {
    }
    EXPECT_EQ(killed.failure(),
              "echo x; kill -KILL $$ was ended by signal 9 (" + std::string(strsignal(9)) + ")");
    command_pipe failed("echo; exit 3", 5);
    while (failed.next(line)) {
    }
    EXPECT_FALSE(failed.failure());
    EXPECT_EQ(failed.cause("printed nothing"), "echo; exit 3 printed nothing (exit status 3)");
}

TEST(ChildProcess, DestroyedEarlyKillsTheWholeGroup)
{
    dorv_test::temp_file pidfile("");
    pid_t group = 0;
    {
        child_process child;
        std::string error;
        child_setup setup;
        setup.argv = {"/bin/sh", "-c", "echo $$ > '" + pidfile.path() + "'; sleep 100 & sleep 100"};
        ASSERT_TRUE(child.start(setup, error)) << error;
        // The first line of output is not awaited: the pid file may lag behind the start.
        for (int i = 0; i < 200 && read_pid(pidfile.path()) == 0; ++i)
            child.wait_exit(clock_type::now() + std::chrono::milliseconds(10));
        group = read_pid(pidfile.path());
        ASSERT_EQ(group, child.pid());
        EXPECT_TRUE(group_alive(group));
    }
    EXPECT_TRUE(group_ends_soon(group));
}

} // namespace
