// A stand-in for an ssh master on a control socket: it greets every client with a hello
// of the given multiplexing protocol version and then never answers, as a master whose
// TCP connection has silently died does. It counts the clients that spoke to it.
#pragma once

#include <sys/types.h>

#include <atomic>
#include <cstdint>
#include <string>
#include <thread>
#include <vector>

namespace dorv_test {

class fake_mux_master {
  public:
    fake_mux_master(const std::string& path, std::uint32_t version);
    // Stops answering, and removes the socket unless another has taken its place.
    ~fake_mux_master();
    fake_mux_master(const fake_mux_master&) = delete;
    fake_mux_master& operator=(const fake_mux_master&) = delete;

    bool listening() const { return listener_ >= 0; }
    // Stops serving, after hearing out what the clients have sent.
    void stop();
    // Clients that sent anything (a hello); a client that only looks for the greeting
    // and goes is not counted. Final once stopped.
    int clients_heard() const { return heard_; }

  private:
    void serve(std::uint32_t version);
    // Reads what client sent, counting it once; false when it has gone.
    bool hear(int client, std::vector<bool>::reference counted);

    std::string path_;
    int listener_ = -1;
    int stop_[2] = {-1, -1};
    dev_t dev_ = 0;
    ino_t ino_ = 0;
    std::atomic<int> heard_{0};
    std::thread thread_;
};

} // namespace dorv_test
