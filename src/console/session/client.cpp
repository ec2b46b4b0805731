// The console's side of one agent session.
#include "console/session/client.h"

#include <sys/wait.h>

#include <cstdio>
#include <cstring>

#include "base/exit_causes.h"
#include "protocol/header.h"
#include "protocol/limits.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

std::string seconds_text(double s)
{
    char buf[32];
    std::snprintf(buf, sizeof buf, "%g", s);
    return buf;
}

} // namespace

std::string agent_status_cause(int status, bool before_login)
{
    return exit_cause_of(status, before_login ? exit_phase::before_login : exit_phase::in_session);
}

std::string describe_end(const end_info& end)
{
    const std::string who = end.remote ? "the agent on " + end.host : "the agent";
    const std::string awaited = end.action.empty() ? "its login packet" : "its reply to " + end.action;
    const std::string tail = end.stderr_tail.empty() ? "" : ": " + end.stderr_tail;
    const std::string partial = end.pending_bytes ? "; " + std::to_string(end.pending_bytes) +
                                                        " bytes had arrived that do not decode as a "
                                                        "whole packet"
                                                  : "";
    if (end.timed_out)
        return "no answer from " + who + " within " + seconds_text(end.timeout_seconds) + " s (waiting for " +
               awaited + ")" + partial + "; " + (end.remote ? "ssh" : "the agent") + " was killed";
    if (!end.wait_status)
        return who + " closed the connection before " + awaited + tail;

    int st = *end.wait_status;
    if (WIFSIGNALED(st)) {
        int sig = WTERMSIG(st);
        return std::string(end.remote ? "ssh to " + end.host : "the agent") + " was killed by signal " +
               std::to_string(sig) + " (" + strsignal(sig) + ") before " + awaited + tail;
    }
    int code = WEXITSTATUS(st);
    const std::string status = std::to_string(code);
    if (end.remote && code == 255)
        return "ssh to " + end.host + " failed (ssh exit status 255)" + tail;
    if (end.remote && !end.logged_in && code == 127)
        return "no agent on " + end.host + ": the remote command \"" + end.remote_command +
               "\" was not found (ssh exit status 127)" + tail;
    if (end.remote && !end.logged_in && code == 126)
        return "the agent on " + end.host + " cannot be run: \"" + end.remote_command +
               "\" is not executable (ssh exit status 126)" + tail;
    if (!end.logged_in && code == exit_rejected_address)
        return who +
               " rejected this connection (agent exit status 1): the client address is outside "
               "the [firewall] range of its configuration" +
               tail;
    std::string cause = agent_status_cause(code, !end.logged_in);
    return who + " ended with exit status " + status + (cause.empty() ? "" : " (" + cause + ")") +
           " before " + awaited + partial + tail;
}

std::string build_request(const std::string& action, const std::string& session_id, const param_array& own)
{
    return header_packet(header_side::request, action, session_id, own);
}

console_client::console_client(transport how, deadline_t deadline, double timeout_seconds, bool verbose)
    : how_(std::move(how)), deadline_(deadline), timeout_seconds_(timeout_seconds), verbose_(verbose)
{
}

bool console_client::fail(std::string message)
{
    if (error_.empty())
        error_ = std::move(message);
    conn_.kill();
    return false;
}

bool console_client::fail_end(const std::string& action, bool timed_out)
{
    end_info end;
    end.remote = how_.remote;
    end.host = how_.host;
    end.remote_command = how_.remote_command;
    end.logged_in = logged_in_;
    end.action = action;
    end.wait_status = timed_out ? std::nullopt : conn_.wait_status();
    end.timed_out = timed_out;
    end.timeout_seconds = timeout_seconds_;
    end.stderr_tail = conn_.stderr_tail();
    end.pending_bytes = conn_.pending_bytes();
    return fail(describe_end(end));
}

void console_client::show(char direction, const std::string& text) const
{
    if (verbose_)
        std::fprintf(stderr, "dorv-console: %c %s\n", direction, text.c_str());
}

bool console_client::receive(const std::string& action, param_array& pairs, std::string& text)
{
    std::string error;
    switch (conn_.receive(pairs, text, deadline_, error)) {
    case io_result::ok:
        show('<', text);
        return true;
    case io_result::ended:
        return fail_end(action, false);
    case io_result::timeout:
        return fail_end(action, true);
    case io_result::bad:
        break;
    }
    return fail(error);
}

bool console_client::open(std::string& error)
{
    if (!login()) {
        error = error_;
        return false;
    }
    return true;
}

bool console_client::login()
{
    std::string error;
    if (!conn_.start(how_, error))
        return fail(error);
    if (verbose_)
        conn_.echo_errors(stderr);
    param_array pairs;
    std::string text;
    if (!receive("", pairs, text))
        return false;
    if (check_header(pairs, header_side::response) != header_fault::none || pairs.value(1) != "login")
        return fail("the agent's first packet is not a login packet: \"" + text + "\"");
    session_id_ = pairs.value(2);
    logged_in_ = true;
    return true;
}

bool console_client::request(const std::string& action, const param_array& own, param_array& reply,
                             std::string& error)
{
    if (error_.empty() && exchange(action, own, reply))
        return true;
    error = error_;
    return false;
}

bool console_client::exchange(const std::string& action, const param_array& own, param_array& reply)
{
    std::string packet = build_request(action, session_id_, own);
    if (packet.size() > max_text)
        return fail("the " + action + " request would be longer than " + std::to_string(max_text) +
                    " characters");
    show('>', packet);
    // A failed write means the agent is gone; the read below then tells how it ended.
    conn_.send(packet);
    param_array pairs;
    std::string text;
    if (!receive(action, pairs, text))
        return false;
    if (check_header(pairs, header_side::response) != header_fault::none || pairs.value(1) != action)
        return fail("the agent's answer to " + action + " is not its reply: \"" + text + "\"");
    if (pairs.value(2) != session_id_)
        return fail("the agent's reply to " + action + " carries another session identifier");
    array_free(reply);
    reply.texts.assign(pairs.texts.begin() + 6, pairs.texts.end());
    return true;
}

void console_client::close()
{
    conn_.finish(deadline_);
}

} // namespace dorv
