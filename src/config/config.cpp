// Configuration lookup.
#include "config/config.h"

#include <cstdio>
#include <cstring>
#include <memory>

#include "protocol/limits.h"

namespace dorv {

std::string g_config_path = "/etc/dorv/dorv.ini";

std::string& chomp(std::string& line)
{
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    if (!line.empty() && line.back() == '\r')
        line.pop_back();
    if (!line.empty() && line.back() == '\n')
        line.pop_back();
    return line;
}

std::optional<std::string> dorv_config(const std::string& section, const std::string& key,
                                       const std::optional<std::string>& default_value)
{
    std::unique_ptr<FILE, int (*)(FILE*)> file(std::fopen(g_config_path.c_str(), "r"), &std::fclose);
    if (!file)
        return default_value;

    std::string current;  // entries before the first header belong to the empty section
    char buf[max_text + 1];
    std::string line;
    while (std::fgets(buf, sizeof buf, file.get())) {
        line.assign(buf, std::strlen(buf));
        chomp(line);
        if (line.empty() || line[0] == ';' || line[0] == '#' || line[0] == '\n')
            continue;
        if (line[0] == '[' && line.back() == ']' && line.size() >= 2) {
            current.assign(line, 1, line.size() - 2);
            continue;
        }
        if (current == section && line.size() > key.size() &&
            line.compare(0, key.size(), key) == 0 && line[key.size()] == '=')
            return line.substr(key.size() + 1);
    }
    return default_value;
}

}  // namespace dorv
