// The per-user parameter cache.
#include "console/session/param_cache.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>

namespace dorv {

namespace {

constexpr std::size_t max_lines = 500;
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
        e.params.push_back(param_info{p[0], p[1], p[2], {}});
    }
    return e;
}

param_cache::param_cache(std::string path, std::string key) : path_(std::move(path)), key_(std::move(key))
{
    for (char& c : key_)
        if (c == '\t' || c == '\n' || c == '\r')
            c = ' ';
}

std::string param_cache::default_path()
{
    const char* xdg = std::getenv("XDG_CACHE_HOME");
    if (xdg && xdg[0] == '/')
        return std::string(xdg) + "/dorv-console/parameters";
    const char* home = std::getenv("HOME");
    if (home && home[0] == '/')
        return std::string(home) + "/.cache/dorv-console/parameters";
    return "";
}

std::vector<std::string> param_cache::read_lines() const
{
    std::vector<std::string> lines;
    std::ifstream in(path_);
    for (std::string line; std::getline(in, line);)
        lines.push_back(line);
    return lines;
}

std::optional<std::vector<param_info>> param_cache::find(const std::string& check)
{
    if (path_.empty())
        return std::nullopt;
    for (const auto& line : read_lines())
        if (auto e = parse_cache_line(line); e && e->key == key_ && e->check == check)
            return e->params;
    return std::nullopt;
}

void param_cache::store(const std::string& check, const std::vector<param_info>* params)
{
    if (path_.empty())
        return;
    std::optional<std::string> mine = params ? cache_line(key_, check, *params) : std::nullopt;
    std::vector<std::string> kept;
    for (const auto& line : read_lines())
        if (auto e = parse_cache_line(line); e && !(e->key == key_ && e->check == check))
            kept.push_back(line);
    if (mine)
        kept.push_back(*mine);
    std::size_t from = kept.size() > max_lines ? kept.size() - max_lines : 0;
    make_dirs(path_);
    // Written beside and renamed over, so that a console reading at the same time sees
    // the old file or the new one, never a part.
    std::string tmp = path_ + "." + std::to_string(::getpid());
    {
        std::ofstream out(tmp, std::ios::trunc);
        for (std::size_t i = from; i < kept.size(); ++i)
            out << kept[i] << '\n';
        if (!out.flush()) {
            ::unlink(tmp.c_str());
            return;
        }
    }
    if (std::rename(tmp.c_str(), path_.c_str()) != 0)
        ::unlink(tmp.c_str());
}

} // namespace dorv
