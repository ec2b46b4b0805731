// Walking a path component by component, symbolic links included.
#include "probes/safe_path.h"

#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <vector>

#include "base/text_helpers.h"

namespace dorv {

namespace {

// A symbolic link chain longer than this is a loop, as the kernel has it.
constexpr int max_links = 40;

bool others_may_write(const struct stat& st)
{
    return st.st_uid != 0 || (st.st_mode & (S_IWGRP | S_IWOTH)) != 0;
}

// Whether an entry of dir (with its stat) is safe from everyone but root: a directory that
// others may write is safe only when sticky and the entry is root's.
bool entry_kept(const struct stat& dir, const struct stat& entry)
{
    if (dir.st_uid != 0)
        return false;
    if ((dir.st_mode & (S_IWGRP | S_IWOTH)) == 0)
        return true;
    return (dir.st_mode & S_ISVTX) != 0 && entry.st_uid == 0;
}

std::vector<std::string> components(const std::string& path)
{
    std::vector<std::string> parts;
    for (std::string_view part : pieces(path, '/'))
        parts.emplace_back(part);
    return parts;
}

struct walker {
    std::string original;
    std::string dir = "/"; // the directory reached so far, free of links
    struct stat dir_st {};
    int links = 0;

    std::string where(const std::string& p) const
    {
        return p == original ? p : p + " (on the way to " + original + ")";
    }

    // Steps through path's components from dir; the final component's stat in last.
    std::optional<std::string> walk(const std::string& path, struct stat& last);
};

std::optional<std::string> walker::walk(const std::string& path, struct stat& last)
{
    if (path.empty() || path[0] == '/') {
        dir = "/";
        if (::lstat("/", &dir_st) != 0)
            return "/ cannot be examined";
    }
    std::vector<std::string> parts = components(path);
    last = dir_st;
    for (std::size_t i = 0; i < parts.size(); ++i) {
        if (parts[i] == "." || parts[i] == "..") {
            if (parts[i] == "..")
                dir = dir.substr(0, std::max<std::size_t>(dir.rfind('/'), 1));
            if (::lstat(dir.c_str(), &dir_st) != 0)
                return where(dir) + " cannot be examined";
            last = dir_st;
            continue;
        }
        std::string next = (dir == "/" ? "" : dir) + "/" + parts[i];
        struct stat st;
        if (::lstat(next.c_str(), &st) != 0)
            return where(next) +
                   (errno == ENOENT ? " does not exist" : std::string(": ") + std::strerror(errno));
        if (!entry_kept(dir_st, st))
            return where(dir) + " is writable by others than root";
        if (S_ISLNK(st.st_mode)) {
            if (++links > max_links)
                return where(next) + ": too many symbolic links";
            std::string target(static_cast<std::size_t>(st.st_size) + 1, '\0');
            ssize_t n = ::readlink(next.c_str(), target.data(), target.size());
            if (n < 0 || static_cast<std::size_t>(n) >= target.size())
                return where(next) + ": symbolic link cannot be read";
            target.resize(static_cast<std::size_t>(n));
            for (std::size_t j = i + 1; j < parts.size(); ++j)
                target += "/" + parts[j];
            return walk(target, last);
        }
        if (i + 1 < parts.size()) {
            if (!S_ISDIR(st.st_mode))
                return where(next) + " is not a directory";
            dir = next;
            dir_st = st;
        } else {
            last = st;
            dir = next;
        }
    }
    return std::nullopt;
}

} // namespace

std::optional<std::string> unsafe_path(const std::string& path, path_use use)
{
    if (path.empty() || path[0] != '/')
        return path + " is not an absolute path";
    walker w;
    w.original = path;
    struct stat st;
    if (auto problem = w.walk(path, st))
        return problem;
    if (!S_ISREG(st.st_mode))
        return path + " is not a regular file";
    if (others_may_write(st))
        return path + " is writable by others than root";
    if (use == path_use::program && ::access(w.dir.c_str(), X_OK) != 0)
        return path + " is not executable";
    return std::nullopt;
}

} // namespace dorv
