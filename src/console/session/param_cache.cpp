// The per-user parameter cache.
#include "console/session/param_cache.h"

#include <dirent.h>
#include <fcntl.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <fstream>

#include "console/transport/ssh_reuse.h"

namespace dorv {

namespace {

constexpr char unit_sep = '\x1f';

std::vector<std::string> split(const std::string& s, char sep)
{
    std::vector<std::string> out(1);
    for (char c : s)
        if (c == sep)
            out.emplace_back();
        else
            out.back() += c;
    return out;
}

bool keepable(const std::string& s)
{
    return s.find_first_of("\t\n\r\x1f") == std::string::npos;
}

void make_dirs(const std::string& path)
{
    for (auto slash = path.find('/', 1); slash != std::string::npos; slash = path.find('/', slash + 1))
        ::mkdir(path.substr(0, slash).c_str(), 0700);
}

// A file of this cache: the hash's 16 hex digits, nothing else (not a temporary file).
bool is_agent_file(const char* name)
{
    std::size_t n = 0;
    for (; name[n]; ++n)
        if (!std::isxdigit(static_cast<unsigned char>(name[n])))
            return false;
    return n == 16;
}

constexpr std::time_t day = std::time_t{24} * 60 * 60;

} // namespace

std::optional<std::string> cache_line(const std::string& key, const std::string& check,
                                      const std::vector<param_info>& params)
{
    if (!keepable(key) || !keepable(check) || check.empty())
        return std::nullopt;
    std::string line = key + "\t" + check;
    for (const auto& p : params) {
        if (!keepable(p.name) || !keepable(p.type) || !keepable(p.maxlength) || p.name.empty())
            return std::nullopt;
        line += "\t" + p.name + unit_sep + p.type + unit_sep + p.maxlength;
    }
    return line;
}

std::optional<cache_entry> parse_cache_line(const std::string& line)
{
    std::vector<std::string> fields = split(line, '\t');
    if (fields.size() < 2 || fields[1].empty())
        return std::nullopt;
    cache_entry e{fields[0], fields[1], {}};
    for (std::size_t i = 2; i < fields.size(); ++i) {
        std::vector<std::string> p = split(fields[i], unit_sep);
        if (p.size() != 3 || p[0].empty())
            return std::nullopt;
        e.params.push_back(param_info{p[0], p[1], p[2], {}, {}});
    }
    return e;
}

param_cache::param_cache(std::string dir, std::string key) : dir_(std::move(dir)), key_(std::move(key))
{
    for (char& c : key_)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
    // The hash only spreads the agents over files: every line still carries its key, so
    // two agents that share a file keep their entries apart.
    if (!dir_.empty())
        file_ = dir_ + "/" + control_socket_name({key_});
}

std::string param_cache::default_path()
{
    std::vector<std::string> dirs;
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    const char* home = std::getenv("HOME");
    if (xdg && xdg[0] == '/')
        dirs.push_back(std::string(xdg) + "/dorv-console/parameters.d");
    else if (home && home[0] == '/')
        dirs.push_back(std::string(home) + "/.cache/dorv-console/parameters.d");
    // A scheduler may start plugins with the HOME of the user it was started as, where
    // its own user cannot write: then the home directory of the password database.
    if (const passwd* pw = ::getpwuid(::geteuid()); pw && pw->pw_dir && pw->pw_dir[0] == '/')
        dirs.push_back(std::string(pw->pw_dir) + "/.cache/dorv-console/parameters.d");
    for (const auto& dir : dirs) {
        make_dirs(dir + "/");
        if (::access(dir.c_str(), W_OK | X_OK) == 0)
            return dir;
    }
    return "";
}

std::vector<std::string> param_cache::read_lines() const
{
    std::vector<std::string> lines;
    std::ifstream in(file_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::optional<std::vector<param_info>> param_cache::find(const std::string& check)
{
    if (file_.empty())
        return std::nullopt;
    for (const auto& line : read_lines())
        if (auto e = parse_cache_line(line); e && e->key == key_ && e->check == check) {
            // Marked as in use once a day, so that an agent that is checked but never
            // described again is not taken for a stale one.
            struct stat st {};
            if (::stat(file_.c_str(), &st) == 0 && st.st_mtime < std::time(nullptr) - day)
                ::utimensat(AT_FDCWD, file_.c_str(), nullptr, 0);
            return e->params;
        }
    return std::nullopt;
}

void param_cache::store(const std::string& check, const std::vector<param_info>* params)
{
    if (file_.empty())
        return;
    std::optional<std::string> mine = params ? cache_line(key_, check, *params) : std::nullopt;
    std::vector<std::string> kept;
    for (const auto& line : read_lines())
        if (auto e = parse_cache_line(line); e && !(e->key == key_ && e->check == check))
            kept.push_back(line);
    if (mine)
        kept.push_back(*mine);
    std::size_t from = kept.size() > max_checks_per_agent ? kept.size() - max_checks_per_agent : 0;
    bool fresh = ::access(file_.c_str(), F_OK) != 0;
    make_dirs(file_);
    // Written beside and renamed over, so that a console reading at the same time sees
    // the old file or the new one, never a part.
    std::string tmp = file_ + "." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (std::size_t i = from; i < kept.size(); ++i)
            out << kept[i] << '\n';
        if (!out.flush()) {
            ::unlink(tmp.c_str());
            return;
        }
    }
    if (std::rename(tmp.c_str(), file_.c_str()) != 0)
        ::unlink(tmp.c_str());
    // A new agent is when the directory changes: the time to sweep it, once a day at most
    // (the mark's time says when it was last swept).
    if (fresh)
        remove_stale();
}

void param_cache::remove_stale() const
{
    std::string mark = dir_ + "/.swept";
    struct stat swept {};
    if (::stat(mark.c_str(), &swept) == 0 && swept.st_mtime > std::time(nullptr) - day)
        return;
    if (int fd = ::open(mark.c_str(), O_WRONLY | O_CREAT | O_CLOEXEC, 0600); fd >= 0)
        ::close(fd);
    ::utimensat(AT_FDCWD, mark.c_str(), nullptr, 0);
    DIR* d = ::opendir(dir_.c_str());
    if (!d)
        return;
    std::time_t limit = std::time(nullptr) - stale_days * day;
    while (const dirent* e = ::readdir(d)) {
        if (!is_agent_file(e->d_name))
            continue;
        struct stat st {};
        std::string path = dir_ + "/" + e->d_name;
        if (::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode) && st.st_mtime < limit)
            ::unlink(path.c_str());
    }
    ::closedir(d);
}

} // namespace dorv
