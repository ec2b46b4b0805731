// Probe commands: what the child process starts with, and how its output is read.
#include <gtest/gtest.h>
#include <stdlib.h>
#include <unistd.h>

#include <csignal>
#include <string>
#include <vector>

#include "probes/command.h"
#include "protocol/limits.h"
#include "support/fake_command.h"

using namespace dorv;

namespace {

std::vector<std::string> output_of(const std::string& command)
{
    command_pipe pipe(command);
    std::vector<std::string> lines;
    std::string line;
    while (pipe.next(line))
        lines.push_back(line);
    return lines;
}

// A directory placed first on PATH holding one script, for the duration of a test.
class ScriptOnPath : public ::testing::Test {
  protected:
    void script(const std::string& name, const std::string& body) { fake_.script(name, body + "\n"); }
    dorv_test::fake_commands fake_{dorv_test::first_on_path};
};

TEST_F(ScriptOnPath, PlainCommandRunsWithoutAShellBetween)
{
    // The script's parent is the process that opened the pipe when the shell became the
    // command; a command with shell syntax keeps the shell as its parent.
    script("show-parent", "echo $PPID");
    std::string self = std::to_string(::getpid()) + "\n";
    EXPECT_EQ(output_of("show-parent 1 -x /a,b=c:d+e_f.g"), std::vector<std::string>{self});
    auto through_shell = output_of("show-parent; true");
    ASSERT_EQ(through_shell.size(), 1u);
    EXPECT_NE(through_shell[0], self);
}

TEST_F(ScriptOnPath, ChildStartsWithCLocaleNoInputAndDefaultSigpipe)
{
    script("show-start", "echo \"$LC_ALL\"; cat; grep SigIgn /proc/$$/status");
    ::setenv("LC_ALL", "de_DE.UTF-8", 1);
    auto old = std::signal(SIGPIPE, SIG_IGN);
    auto lines = output_of("show-start");
    std::signal(SIGPIPE, old);
    ::unsetenv("LC_ALL");
    // "cat" ends at once on /dev/null; SIGPIPE (bit 12 of the mask) is not ignored.
    ASSERT_EQ(lines.size(), 2u);
    EXPECT_EQ(lines[0], "C\n");
    unsigned long ignored = std::stoul(lines[1].substr(lines[1].find(':') + 1), nullptr, 16);
    EXPECT_EQ(ignored & (1ul << (SIGPIPE - 1)), 0u) << lines[1];
}

TEST(CommandPipe, MissingCommandGivesNoLines)
{
    EXPECT_TRUE(output_of("dorv-no-such-command-here 1 2").empty());
    EXPECT_TRUE(output_of("exit 3").empty());
}

TEST(CommandPipe, LongLineComesInPiecesOfTheTextLimit)
{
    auto lines = output_of("head -c 40000 /dev/zero | tr '\\000' x; echo");
    ASSERT_EQ(lines.size(), 3u);
    EXPECT_EQ(lines[0].size(), max_text);
    EXPECT_EQ(lines[1].size(), max_text);
    EXPECT_EQ(lines[2].size(), 40000 - 2 * max_text + 1);
    EXPECT_EQ((lines[0] + lines[1] + lines[2]).find_first_not_of('x'), 40000u);
}

TEST(TextLines, SplitsLikeACommandsOutput)
{
    text_lines lines(std::string_view("a\nb\0c\n\nlast", 12));
    std::vector<std::string> got;
    std::string line;
    while (lines.next(line))
        got.push_back(line);
    EXPECT_EQ(got, (std::vector<std::string>{"a\n", "b", "\n", "last"}));
}

} // namespace
