// Reading the host file.
#include "console/fleet/host_list.h"

#include <sstream>

namespace dorv {

std::vector<host_entry> parse_host_list(const std::string& text, std::string& error)
{
    std::vector<host_entry> hosts;
    std::istringstream in(text);
    std::string line;
    for (int number = 1; std::getline(in, line); ++number) {
        std::istringstream words(line);
        std::string destination, name, more;
        if (!(words >> destination) || destination[0] == '#')
            continue;
        words >> name >> more;
        const std::string where = "line " + std::to_string(number) + ": ";
        if (!more.empty() && more[0] != '#') {
            error = where;
            error.append("one destination and one name at most, not \"").append(line).append("\"");
            return {};
        }
        if (destination[0] == '-') {
            error = where;
            error.append("a destination cannot begin with '-': \"").append(destination).append("\"");
            return {};
        }
        if (name.empty() || name[0] == '#')
            name = destination.substr(destination.find('@') + 1);
        if (name.find(';') != std::string::npos) {
            error = where;
            error.append("a host name cannot hold ';': \"").append(name).append("\"");
            return {};
        }
        hosts.push_back({destination, name});
    }
    if (hosts.empty())
        error = "the host file names no host";
    return hosts;
}

} // namespace dorv
