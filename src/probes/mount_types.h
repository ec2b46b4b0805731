// The file system type of each mount point, as the kernel's mount table tells it: what
// lets a console tell a disk from a tmpfs or a proc-like file system. The parser is pure
// and takes the table's text; reading the table is the platform's (mount_types_*.cpp).
#pragma once

#include <map>
#include <string>
#include <string_view>

namespace dorv {

// The types of a mount table in the form of /proc/self/mounts ("SOURCE MOUNTPOINT TYPE
// OPTIONS 0 0" a line, a blank, tab, line end or backslash in a field written as \040,
// \011, \012 or \134). A mount point mounted over again has the type of the last line.
std::map<std::string, std::string> parse_mount_table(std::string_view text);

// The types of this host's mount points; empty where the platform does not tell them.
std::map<std::string, std::string> mount_types();

} // namespace dorv
