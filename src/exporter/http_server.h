// The exporter's HTTP server: libmicrohttpd, a thread per connection (a probe waits on
// its host), behind a small interface of requests and answers so that the rest of the
// exporter knows nothing of the library.
#pragma once

#include <functional>
#include <map>
#include <optional>
#include <string>

namespace dorv {

struct http_request {
    std::string method;
    std::string path;
    std::map<std::string, std::string> query;  // the URL's arguments, decoded; the first of a name
    std::optional<std::string> scrape_timeout; // X-Prometheus-Scrape-Timeout-Seconds
};

struct http_answer {
    int status = 200;
    std::string content_type = "text/plain; charset=utf-8";
    std::string body;
};

using http_handler = std::function<http_answer(const http_request&)>;

class http_server {
  public:
    http_server() = default;
    ~http_server();
    http_server(const http_server&) = delete;
    http_server& operator=(const http_server&) = delete;

    // Listens on address:port (port 0: one the system picks) for at most `connections`
    // connections at once, each answered by handler. False, with error set, when it
    // cannot.
    bool start(const std::string& address, int port, unsigned connections, http_handler handler,
               std::string& error);
    // The port it listens on.
    int port() const { return port_; }

  private:
    void* daemon_ = nullptr;
    http_handler handler_;
    int port_ = 0;
};

} // namespace dorv
