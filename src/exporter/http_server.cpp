// The HTTP server on libmicrohttpd.
#include "exporter/http_server.h"

#include <arpa/inet.h>
#include <microhttpd.h>
#include <netinet/in.h>

#include <cstring>

namespace dorv {

namespace {

MHD_Result add_argument(void* cls, MHD_ValueKind, const char* key, const char* value)
{
    auto* query = static_cast<std::map<std::string, std::string>*>(cls);
    if (key)
        query->emplace(key, value ? value : "");
    return MHD_YES;
}

MHD_Result answer(void* cls, MHD_Connection* connection, const char* url, const char* method, const char*,
                  const char*, size_t* upload_size, void** state)
{
    // A request with a body is answered once it has come; nothing here reads it.
    static int seen;
    if (*state == nullptr) {
        *state = &seen;
        return MHD_YES;
    }
    if (*upload_size != 0) {
        *upload_size = 0;
        return MHD_YES;
    }
    http_request request;
    request.method = method;
    request.path = url;
    MHD_get_connection_values(connection, MHD_GET_ARGUMENT_KIND, add_argument, &request.query);
    if (const char* t =
            MHD_lookup_connection_value(connection, MHD_HEADER_KIND, "X-Prometheus-Scrape-Timeout-Seconds"))
        request.scrape_timeout = t;
    http_answer a = (*static_cast<http_handler*>(cls))(request);
    MHD_Response* response =
        MHD_create_response_from_buffer(a.body.size(), a.body.data(), MHD_RESPMEM_MUST_COPY);
    if (!response)
        return MHD_NO;
    MHD_add_response_header(response, "Content-Type", a.content_type.c_str());
    if (a.status == MHD_HTTP_METHOD_NOT_ALLOWED)
        MHD_add_response_header(response, "Allow", "GET");
    MHD_Result r = MHD_queue_response(connection, static_cast<unsigned>(a.status), response);
    MHD_destroy_response(response);
    return r;
}

} // namespace

http_server::~http_server()
{
    if (daemon_)
        MHD_stop_daemon(static_cast<MHD_Daemon*>(daemon_));
}

bool http_server::start(const std::string& address, int port, unsigned connections, http_handler handler,
                        std::string& error)
{
    handler_ = std::move(handler);
    sockaddr_in v4{};
    sockaddr_in6 v6{};
    const sockaddr* where = nullptr;
    unsigned flags = MHD_USE_INTERNAL_POLLING_THREAD | MHD_USE_THREAD_PER_CONNECTION;
    const auto port16 = htons(static_cast<uint16_t>(port));
    if (::inet_pton(AF_INET, address.c_str(), &v4.sin_addr) == 1) {
        v4.sin_family = AF_INET;
        v4.sin_port = port16;
        where = reinterpret_cast<const sockaddr*>(&v4);
    } else if (::inet_pton(AF_INET6, address.c_str(), &v6.sin6_addr) == 1) {
        v6.sin6_family = AF_INET6;
        v6.sin6_port = port16;
        where = reinterpret_cast<const sockaddr*>(&v6);
        flags |= MHD_USE_IPv6;
    } else {
        error = "--listen takes a numeric address, not \"" + address + "\"";
        return false;
    }
    daemon_ = MHD_start_daemon(flags, static_cast<uint16_t>(port), nullptr, nullptr, answer, &handler_,
                               MHD_OPTION_SOCK_ADDR, where, MHD_OPTION_CONNECTION_LIMIT, connections,
                               MHD_OPTION_CONNECTION_TIMEOUT, 120u, MHD_OPTION_END);
    if (!daemon_) {
        error = "cannot listen on " + address + ":" + std::to_string(port) + ": " + std::strerror(errno);
        return false;
    }
    const MHD_DaemonInfo* info =
        MHD_get_daemon_info(static_cast<MHD_Daemon*>(daemon_), MHD_DAEMON_INFO_BIND_PORT);
    port_ = info ? info->port : port;
    return true;
}

} // namespace dorv
