// How the agent ends: its exit statuses, one name per cause (causes that end with the same
// status share its value), what the console calls each, and the exception by which a
// deep failure ends the process.
#pragma once

namespace dorv {

// Exit statuses of the agent, named by their cause.
enum exit_status : int {
    exit_input_ended = 0,
    exit_rejected_address = 1,   // client address outside the range, or login name unknown
    exit_unreadable_config = 1,  // the configuration file is there but cannot be read
    exit_packet_not_written = 1, // a packet too long, or not written whole
    exit_bad_header = 1,         // a request's header pairs missing or wrong, or too many pairs
    exit_connection_closed = 1,  // the console went away while a command ran
    exit_no_sysname = 2,
    exit_definecheck_no_checkid = 3,
    exit_runcheck_no_checkid = 4,
    exit_runcheck_no_para = 5,
    exit_getcombo_no_checkid = 6,
    exit_not_implemented = 7,
    exit_not_a_packet = 8,
    exit_array_full = 10,
    exit_request_too_long = 11,
};

// When a status is seen: before the login packet arrived, or in the session after it.
enum class exit_phase { any, before_login, in_session };

// What the console says an exit status means, by the phase in which the agent ended.
struct exit_cause_text {
    int status;
    exit_phase phase;
    const char* text;
};

inline constexpr exit_cause_text exit_cause_texts[] = {
    {exit_input_ended, exit_phase::any, "its input ended"},
    // Before login only the admission and the login packet can end the agent with 1.
    {exit_rejected_address, exit_phase::before_login, "client address rejected"},
    {exit_bad_header, exit_phase::in_session, "bad request header or reply not written"},
    {exit_no_sysname, exit_phase::any, "system name not available"},
    {exit_definecheck_no_checkid, exit_phase::any, "definecheck without checkid"},
    {exit_runcheck_no_checkid, exit_phase::any, "runcheck without checkid"},
    {exit_runcheck_no_para, exit_phase::any, "runcheck without para"},
    {exit_getcombo_no_checkid, exit_phase::any, "getcomboparamvalues without checkid"},
    {exit_not_implemented, exit_phase::any, "request not implemented"},
    {exit_not_a_packet, exit_phase::any, "request is not a packet"},
    {exit_array_full, exit_phase::any, "parameter array full"},
    {exit_request_too_long, exit_phase::any, "request too long"},
};

// The console's text for status in phase; "" for a status the agent does not use.
inline const char* exit_cause_of(int status, exit_phase phase)
{
    for (const exit_cause_text& c : exit_cause_texts)
        if (c.status == status && (c.phase == exit_phase::any || c.phase == phase))
            return c.text;
    return "";
}

// Thrown where the agent must end at once; main catches it and returns the status (the
// trace is written straight to its descriptor: nothing waits to be flushed). Tests catch it to see the status
// without ending the test.
struct exit_request {
    int status;
};

[[noreturn]] inline void end_agent(int status)
{
    throw exit_request{status};
}

} // namespace dorv
