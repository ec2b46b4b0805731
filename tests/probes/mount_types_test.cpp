// The mount table reader, fed lines of a real /proc/self/mounts.
#include "probes/mount_types.h"

#include <gtest/gtest.h>

using namespace dorv;

TEST(MountTable, TypesByMountPointTheLastMountWins)
{
    const std::string table = "proc /proc proc rw,relatime 0 0\n"
                              "devtmpfs /dev devtmpfs rw,relatime,size=12334128k,mode=755 0 0\n"
                              "/dev/vda / ext4 rw,relatime,discard 0 0\n"
                              "/dev/loop0 /srv/my\\040data ext4 rw,relatime 0 0\n"
                              "/dev/loop1 /srv/line\\012end\\134x ext4 rw,relatime 0 0\n"
                              "dorv-usr /usr overlay rw,relatime,lowerdir=/usr 0 0\n"
                              "/dev/vda /usr ext4 rw,relatime 0 0\n"
                              "cut-off line\n"
                              "tmpfs /run tmpfs rw,nosuid,nodev,mode=755 0 0";
    const std::map<std::string, std::string> want = {
        {"/proc", "proc"},        {"/dev", "devtmpfs"},          {"/", "ext4"},
        {"/srv/my data", "ext4"}, {"/srv/line\nend\\x", "ext4"}, {"/usr", "ext4"},
        {"/run", "tmpfs"},
    };
    EXPECT_EQ(parse_mount_table(table), want);
    EXPECT_TRUE(parse_mount_table("").empty());
}
