// Reading this host's own figures for the tests.
#include "support/host_reading.h"

#include <cstdio>
#include <fstream>
#include <sstream>

namespace dorv_test {

std::string output_of(const std::string& command)
{
    std::string out;
    std::FILE* p = ::popen(command.c_str(), "r");
    if (!p)
        return out;
    char buf[4096];
    for (std::size_t n; (n = std::fread(buf, 1, sizeof buf, p)) > 0;)
        out.append(buf, n);
    ::pclose(p);
    return out;
}

std::map<std::string, double> meminfo()
{
    std::map<std::string, double> kb;
    std::ifstream in("/proc/meminfo");
    std::string key;
    double value;
    for (std::string line; std::getline(in, line);)
        if (std::istringstream(line) >> key >> value)
            kb[key.substr(0, key.find(':'))] = value;
    return kb;
}

cpu_ticks proc_stat()
{
    std::ifstream in("/proc/stat");
    std::string cpu;
    double t[8] = {};
    in >> cpu >> t[0] >> t[1] >> t[2] >> t[3] >> t[4] >> t[5] >> t[6] >> t[7];
    // user nice system idle iowait irq softirq steal; guest time is inside user already.
    cpu_ticks c;
    c.busy = t[0] + t[1] + t[2] + t[5] + t[6];
    for (double v : t)
        c.total += v;
    return c;
}

double busy_share(const cpu_ticks& before, const cpu_ticks& after)
{
    double total = after.total - before.total;
    return total > 0 ? 100.0 * (after.busy - before.busy) / total : 0;
}

std::vector<std::pair<std::string, int>> host_df()
{
    std::vector<std::pair<std::string, int>> out;
    std::istringstream in(output_of("/bin/df"));
    std::string line;
    std::getline(in, line);
    while (std::getline(in, line)) {
        std::size_t pc = line.find("% ");
        if (pc == std::string::npos)
            continue;
        std::size_t start = line.rfind(' ', pc) + 1;
        out.emplace_back(line.substr(line.find_first_not_of(' ', pc + 1)),
                         std::stoi(line.substr(start, pc - start)));
    }
    return out;
}

} // namespace dorv_test
