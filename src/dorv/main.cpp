// Entry point of the agent: run one session and end with its status.
#include "config/config.h"
#include "dorv/session.h"
#include "protocol/limits.h"

int main()
{
#ifdef DORV_CONFIG_PATH
    // Test builds read their configuration relative to the working directory.
    dorv::g_config_path = DORV_CONFIG_PATH;
#endif
    try {
        return dorv::dorv_agent();
    } catch (const dorv::exit_request& e) {
        return e.status;
    }
}
