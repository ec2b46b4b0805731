// Sending and reading packets on the connection.
#include "protocol/channel.h"

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <cstring>

#include "base/exit_causes.h"
#include "base/trace.h"
#include "protocol/header.h"
#include "protocol/packet.h"
#include "protocol/reply_budget.h"
#include "protocol/session_id.h"

namespace dorv {

namespace {

// Traces the reads of one request: "< [n] text" with the read's result and all of the
// request so far, escaped. The first eight reads are traced so; a request still
// incomplete after them (a console dribbling bytes) has its further reads counted and
// only the one that ends it traced, after a line with their count. The reads before the
// last stop being traced once they have written 48 KB, so that one request writes about
// 64 KB of trace at most however it arrives.
class read_tracer {
  public:
    void read(int n, std::string_view text, bool last)
    {
        ++reads_;
        if (!last && reads_ > traced_reads) {
            ++skipped_;
            return;
        }
        std::string storage;
        std::string_view shown = escaped(text, storage);
        char head[32];
        int len = std::snprintf(head, sizeof head, "< [%d] ", n);
        std::size_t line = static_cast<std::size_t>(len) + shown.size() + 1;
        if (!last && traced_ + line > early_budget) {
            ++skipped_;
            return;
        }
        if (skipped_ > 0)
            trace("< %d reads not traced one by one\n", skipped_);
        skipped_ = 0;
        traced_ += line;
        trace_parts({std::string_view(head, static_cast<std::size_t>(len)), shown, "\n"});
    }

  private:
    static constexpr int traced_reads = 8;
    static constexpr std::size_t early_budget = std::size_t{48} * 1024;
    int reads_ = 0;
    int skipped_ = 0;
    std::size_t traced_ = 0;
};

} // namespace

int send_cmd(std::string_view cmd, const param_array& param, int fd)
{
    std::string packet = header_packet(header_side::response, cmd, g_session_id, param);
    if (!fits_packet(packet.size())) {
        trace("send_cmd: packet too long\n");
        end_agent(exit_packet_not_written);
    }
    ssize_t written = ::write(fd, packet.data(), packet.size());
    std::string storage;
    trace_parts({"> ", escaped(packet, storage), "\n"});
    if (written < 0 || static_cast<std::size_t>(written) != packet.size()) {
        trace("send_cmd: failed to write packet\n");
        end_agent(exit_packet_not_written);
    }
    return static_cast<int>(packet.size());
}

namespace {

// Reads from fd into decoder until it holds one whole request; false at the end of input
// or on a read error. A request that does not fit a packet ends the agent.
bool read_whole_request(packet_decoder& decoder, int fd)
{
    read_tracer tracer;
    char chunk[read_chunk];
    for (;;) {
        std::size_t room = std::min(read_chunk, max_text - decoder.text().size());
        ssize_t n;
        do
            n = ::read(fd, chunk, room);
        while (n < 0 && errno == EINTR);
        if (n < 1) {
            tracer.read(static_cast<int>(n), decoder.text(), true);
            return false;
        }
        decoder.append(std::string_view(chunk, static_cast<std::size_t>(n)));
        bool complete;
        try {
            complete = decoder.decode() != 0;
        } catch (const exit_request&) {
            tracer.read(static_cast<int>(n), decoder.text(), true); // not a packet, or too many pairs
            throw;
        }
        bool too_long = !complete && decoder.text().size() >= max_text;
        tracer.read(static_cast<int>(n), decoder.text(), complete || too_long);
        if (complete)
            return true;
        if (too_long) {
            trace("read_cmd: request too long\n");
            end_agent(exit_request_too_long);
        }
    }
}

// Ends the agent when the request's header pairs are missing or name another session.
void check_request_header(const param_array& work)
{
    switch (check_header(work, header_side::request)) {
    case header_fault::none:
        break;
    case header_fault::no_keycount:
        trace("no keycount\n");
        end_agent(exit_bad_header);
    case header_fault::no_action:
        trace("no requestaction\n");
        end_agent(exit_bad_header);
    case header_fault::no_sessionid:
        trace("no sessionid\n");
        end_agent(exit_bad_header);
    }
    if (work.texts[5] != g_session_id) {
        trace("Session ID mismatch\n");
        end_agent(exit_bad_header);
    }
}

} // namespace

std::optional<std::string> read_cmd(param_array& args, int fd)
{
    packet_decoder decoder;
    if (!read_whole_request(decoder, fd))
        return std::nullopt;
    param_array& work = decoder.pairs();
    check_request_header(work);
    std::string action = std::move(work.texts[3]);
    array_free(args);
    for (std::size_t i = 6; i + 1 < work.texts.size(); i += 2) {
        if (args.size() + 3 > args.max) {
            trace("should not happen");
            end_agent(exit_bad_header);
        }
        args.texts.push_back(std::move(work.texts[i]));
        args.texts.push_back(std::move(work.texts[i + 1]));
    }
    return action;
}

} // namespace dorv
