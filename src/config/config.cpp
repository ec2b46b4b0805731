// Configuration lookup.
#include "config/config.h"

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <memory>

#include "base/fd.h"
#include "base/text_helpers.h"
#include "protocol/limits.h"

namespace dorv {

std::string g_config_path = "/etc/dorv/dorv.ini";

void scan_config(std::string_view text, const std::function<bool(const config_line&)>& visit)
{
    std::string current; // entries before the first header belong to the empty section
    std::string line;
    int number = 0;
    bool continues = false; // the last piece read did not end its line
    std::size_t pos = 0;
    while (pos < text.size()) {
        // One piece as fgets takes it: through a line feed, at most 16383 characters;
        // then, as strlen sees it, cut at a zero byte.
        std::size_t end = text.find('\n', pos);
        end = end == std::string_view::npos ? text.size() : end + 1;
        end = std::min(end, pos + max_text);
        std::string_view piece_text = text.substr(pos, end - pos);
        pos = end;
        line.assign(piece_text.substr(0, std::min(piece_text.find('\0'), piece_text.size())));
        bool piece = continues;
        if (!piece)
            ++number;
        continues = line.empty() || line.back() != '\n';
        chomp(line);
        config_line l{config_line::entry, number, piece, current, line};
        if (line.empty() || line[0] == '\n') {
            l.kind = config_line::blank;
        } else if (line[0] == ';' || line[0] == '#') {
            l.kind = config_line::comment;
        } else if (line[0] == '[' && line.back() == ']' && line.size() >= 2) {
            current.assign(line, 1, line.size() - 2);
            l.kind = config_line::header;
            l.section = current;
        }
        if (!visit(l))
            return;
    }
}

namespace {

// Reads the whole file at path into text, at most max_config_size bytes. The file is
// opened without following a final symbolic link and without blocking (a FIFO or a device
// is refused before anything is read from it), and must be a regular file.
config_read read_whole(const std::string& path, std::string& text)
{
    int fd = ::open(path.c_str(), O_RDONLY | O_NOFOLLOW | O_NONBLOCK | O_CLOEXEC);
    if (fd < 0) {
        int e = errno;
        if (e == ENOENT || e == ENOTDIR)
            return {config_read::missing, std::strerror(e)};
        return {config_read::unreadable, e == ELOOP ? "a symbolic link is not followed" : std::strerror(e)};
    }
    unique_fd file(fd);
    struct stat st;
    if (::fstat(fd, &st) != 0)
        return {config_read::unreadable, std::strerror(errno)};
    if (!S_ISREG(st.st_mode))
        return {config_read::unreadable, "not a regular file"};
    if (st.st_size > static_cast<off_t>(max_config_size))
        return {config_read::unreadable, "larger than " + std::to_string(max_config_size) + " bytes"};
    char buf[4096];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n < 0 && errno == EINTR)
            continue;
        if (n < 0)
            return {config_read::unreadable, std::strerror(errno)};
        if (n == 0)
            return {config_read::read, {}};
        // A file that grows while it is read is held to the same bound.
        if (text.size() + static_cast<std::size_t>(n) > max_config_size)
            return {config_read::unreadable, "larger than " + std::to_string(max_config_size) + " bytes"};
        text.append(buf, static_cast<std::size_t>(n));
    }
}

} // namespace

config_read read_config(const std::string& path, const std::function<bool(const config_line&)>& visit)
{
    std::string text;
    config_read r = read_whole(path, text);
    // Nothing of a file that could not be read whole is looked at.
    if (r.status == config_read::read)
        scan_config(text, visit);
    return r;
}

std::string dropin_dir(const std::string& config_path)
{
    std::size_t slash = config_path.rfind('/');
    return (slash == std::string::npos ? std::string() : config_path.substr(0, slash + 1)) + "dorv.d";
}

std::vector<std::string> dropin_files(const std::string& dir)
{
    std::vector<std::string> files;
    std::unique_ptr<DIR, int (*)(DIR*)> d(::opendir(dir.c_str()), &::closedir);
    if (!d)
        return files;
    while (const dirent* e = ::readdir(d.get())) {
        std::string_view name = e->d_name;
        if (name.size() > 4 && name.substr(name.size() - 4) == ".ini")
            files.push_back(dir + "/" + std::string(name));
    }
    std::sort(files.begin(), files.end());
    return files;
}

std::optional<std::string> dorv_config(const std::string& section, const std::string& key,
                                       const std::optional<std::string>& default_value)
{
    std::optional<std::string> found;
    read_config(g_config_path, [&](const config_line& l) {
        const std::string_view t = l.text;
        if (l.kind == config_line::entry && l.section == section && t.size() > key.size() &&
            t.compare(0, key.size(), key) == 0 && t[key.size()] == '=') {
            found = std::string(t.substr(key.size() + 1));
            return false;
        }
        return true;
    });
    return found ? found : default_value;
}

} // namespace dorv
