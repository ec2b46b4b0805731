// Configuration lookup.
#include "config/config.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <memory>

#include "base/text_helpers.h"
#include "protocol/limits.h"

namespace dorv {

std::string g_config_path = "/etc/dorv/dorv.ini";

config_read read_config(const std::string& path, const std::function<bool(const config_line&)>& visit)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(path.c_str(), "r"), &std::fclose);
    if (!file) {
        if (errno == ENOENT || errno == ENOTDIR)
            return {config_read::missing, std::strerror(errno)};
        return {config_read::unreadable, std::strerror(errno)};
    }

    std::string current; // entries before the first header belong to the empty section
    char buf[max_text + 1];
    std::string line;
    int number = 0;
    bool continues = false; // the last piece read did not end its line
    while (std::fgets(buf, sizeof buf, file.get())) {
        line.assign(buf, std::strlen(buf));
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
            return {config_read::read, {}};
    }
    if (std::ferror(file.get()))
        return {config_read::unreadable, std::strerror(errno)};
    return {config_read::read, {}};
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
