// Entry point of the agent: run one session and end with its status; or, asked with
// "--check-config [FILE]", check a configuration file.
#include <cstdio>
#include <cstring>
#include <string>

#include "base/exit_causes.h"
#include "config/config.h"
#include "dorv/check_config.h"
#include "dorv/session.h"

int main(int argc, char** argv)
{
#ifdef DORV_CONFIG_PATH
    // Test builds read their configuration relative to the working directory.
    dorv::g_config_path = DORV_CONFIG_PATH;
#endif
    // Started by a console the agent gets no arguments (a key's command= line passes none).
    if (argc >= 2 && argc <= 3 && std::strcmp(argv[1], "--check-config") == 0) {
        std::string report;
        int status = dorv::check_config(argc == 3 ? argv[2] : dorv::g_config_path, report);
        std::fwrite(report.data(), 1, report.size(), stdout);
        return std::fflush(stdout) == 0 ? status : 1;
    }
    try {
        return dorv::dorv_agent();
    } catch (const dorv::exit_request& e) {
        return e.status;
    }
}
