// What one agent session learns about the host's commands: a probe whose usual form gives
// nothing here while a second form works (BusyBox has no vmstat, and its ps rejects "-ax")
// uses the second form for the rest of the session, so that the first is not run, and its
// usage text not traced, for every request.
#pragma once

namespace dorv {

struct host_forms {
    // "ps -ax -o user,args" was rejected and "ps -o user,args" listed the processes.
    bool ps_without_ax = false;
    // vmstat gave nothing and top's CPU lines gave the load.
    bool cpu_from_top = false;
};

// The session's forms; a new session (a new agent process) starts with none learned.
host_forms& session_forms();

} // namespace dorv
