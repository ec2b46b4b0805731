// Whether a file may be trusted to hold what root put there: a configured check's program
// runs, and its section is read, only when nobody but root can change what the path leads
// to.
#pragma once

#include <optional>
#include <string>

namespace dorv {

enum class path_use {
    program, // run: an executable regular file
    file,    // read: a regular file
};

// Why path is not to be used, or nothing when it may be. The path must be absolute and
// lead, through directories and symbolic links that only root can change, to a regular
// file (for a program one that the agent may execute) that only root can write: owned by
// root and writable by neither group nor others. A directory that others may write is
// accepted only with its sticky bit (as /tmp has it) and an entry on the path owned by
// root, which then nobody else can rename or remove.
std::optional<std::string> unsafe_path(const std::string& path, path_use use);

} // namespace dorv
