// A configured check's program runs only when nobody but root can change it or its path.
#include "probes/safe_path.h"

#include <gtest/gtest.h>
#include <sys/stat.h>
#include <unistd.h>

#include "support/fake_command.h"
#include "support/temp_dir.h"

using namespace dorv;
using dorv_test::temp_dir;

namespace {

// The reason unsafe_path gives, "" when the path may be used.
std::string reason(const std::string& path, path_use use = path_use::program)
{
    return unsafe_path(path, use).value_or("");
}

} // namespace

TEST(SafePath, SystemProgramsAndRootOnlyDirectoriesPass)
{
    EXPECT_EQ(reason("/usr/lib/nagios/plugins/check_disk"), "");
    EXPECT_EQ(reason("/bin/true"), ""); // /bin may be a link to usr/bin
    EXPECT_EQ(reason("/usr/bin/../bin/true"), "");
    EXPECT_EQ(reason("/etc/passwd", path_use::file), "");
}

TEST(SafePath, EachUnsafeOrMissingPathIsRefusedWithItsReason)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own the test's files";
    temp_dir d; // root's, mode 0700, in the sticky /tmp
    const std::string prog = d.path("prog");
    dorv_test::write_script(prog, "exit 0\n");
    EXPECT_EQ(reason(prog), "");
    EXPECT_EQ(reason("bin/true"), "bin/true is not an absolute path");
    EXPECT_EQ(reason(d.path("none")), d.path("none") + " does not exist");
    EXPECT_EQ(reason(d.dir()), d.dir() + " is not a regular file");

    ASSERT_EQ(::chmod(prog.c_str(), 0757), 0);
    EXPECT_EQ(reason(prog), prog + " is writable by others than root");
    ASSERT_EQ(::chmod(prog.c_str(), 0644), 0);
    EXPECT_EQ(reason(prog), prog + " is not executable");
    EXPECT_EQ(reason(prog, path_use::file), "");
    ASSERT_EQ(::chmod(prog.c_str(), 0755), 0);
    ASSERT_EQ(::chown(prog.c_str(), 1, 1), 0);
    EXPECT_EQ(reason(prog), prog + " is writable by others than root");
    ASSERT_EQ(::chown(prog.c_str(), 0, 0), 0);

    ASSERT_EQ(::chmod(d.dir().c_str(), 0770), 0);
    EXPECT_EQ(reason(prog), d.dir() + " (on the way to " + prog + ") is writable by others than root");
    // Sticky, like /tmp: an entry of root's cannot be replaced by others, anybody else's can.
    ASSERT_EQ(::chmod(d.dir().c_str(), 01777), 0);
    EXPECT_EQ(reason(prog), "");
    ASSERT_EQ(::chown(prog.c_str(), 1, 1), 0);
    EXPECT_NE(reason(prog), "");
}

TEST(SafePath, SymbolicLinksAreFollowedThroughEveryDirectoryOnTheirWay)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "needs root to own the test's files";
    temp_dir d;
    ASSERT_EQ(::mkdir(d.path("open").c_str(), 0777), 0);
    ASSERT_EQ(::chmod(d.path("open").c_str(), 0777), 0);
    dorv_test::write_script(d.path("open/prog"), "exit 0\n");
    ASSERT_EQ(::symlink("open/prog", d.path("relative").c_str()), 0);
    ASSERT_EQ(::symlink(d.path("open").c_str(), d.path("dirlink").c_str()), 0);
    ASSERT_EQ(::symlink("/usr/lib/nagios/plugins/check_disk", d.path("good").c_str()), 0);
    ASSERT_EQ(::symlink("loop", d.path("loop").c_str()), 0);
    EXPECT_EQ(reason(d.path("relative")),
              d.path("open") + " (on the way to " + d.path("relative") + ") is writable by others than root");
    EXPECT_NE(reason(d.path("dirlink/prog")), "");
    EXPECT_EQ(reason(d.path("good")), "");
    EXPECT_EQ(reason(d.path("loop")), d.path("loop") + ": too many symbolic links");
}
