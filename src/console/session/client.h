// One agent session seen from the console: start the transport, take the login packet
// and its session identifier, then one request and one reply at a time.
#pragma once

#include <optional>
#include <string>

#include "console/session/agent_session.h"
#include "console/transport/connection.h"
#include "protocol/param_array.h"

namespace dorv {

// What is known when a session ends before its time; describe_end turns it into one line.
struct end_info {
    bool remote = false;
    std::string host;           // ssh destination
    std::string remote_command; // what ssh ran there
    bool logged_in = false;     // the login packet had arrived
    std::string action;         // the request whose reply was awaited ("" before login)
    std::optional<int> wait_status;
    bool timed_out = false;
    double timeout_seconds = 0;
    std::string stderr_tail;       // the last line the process wrote to its standard error
    std::size_t pending_bytes = 0; // bytes of a reply that never became a whole packet
};

// One line saying what happened: a rejected address, an agent missing on the host, ssh
// failing, the agent ending with a status (named, with its cause), a timeout.
std::string describe_end(const end_info& end);

// What an agent exit status means, as its cause; "" for a status the agent does not use.
std::string agent_status_cause(int status, bool before_login);

// The request packet: the header pairs with this action and identifier, then own's pairs.
std::string build_request(const std::string& action, const std::string& session_id, const param_array& own);

class console_client : public agent_session {
  public:
    console_client(transport how, deadline_t deadline, double timeout_seconds, bool verbose);

    // Starts the agent and reads its login packet. False, with error set, on failure.
    bool open(std::string& error);
    bool request(const std::string& action, const param_array& own, param_array& reply,
                 std::string& error) override;
    // Closes the agent's input and lets it end.
    void close();

    const std::string& session_id() const { return session_id_; }

  private:
    // open and request; false, with error_ set, when the session has failed.
    bool login();
    bool exchange(const std::string& action, const param_array& own, param_array& reply);
    // Reads the packet that answers action ("" for the login packet); on failure the
    // session has failed, as fail_end or fail tell.
    bool receive(const std::string& action, param_array& pairs, std::string& text);
    bool fail_end(const std::string& action, bool timed_out);
    bool fail(std::string message);
    void show(char direction, const std::string& text) const;

    transport how_;
    agent_connection conn_;
    deadline_t deadline_;
    double timeout_seconds_;
    bool verbose_;
    bool logged_in_ = false;
    std::string session_id_;
    std::string error_;
};

} // namespace dorv
