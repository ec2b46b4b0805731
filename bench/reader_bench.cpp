// The request reader: a whole request in one read, and the worst case of a 16383-character
// request that arrives one byte per read. Trace lines go to /dev/null, the default log.
#include <benchmark/benchmark.h>
#include <stdlib.h>
#include <sys/socket.h>
#include <unistd.h>

#include <thread>

#include "base/exit_causes.h"
#include "base/trace.h"
#include "protocol/channel.h"
#include "protocol/header.h"
#include "protocol/packet.h"
#include "protocol/session_id.h"
#include "support/temp_dir.h"

using namespace dorv;

namespace {

std::string request_of_length(std::size_t length)
{
    if (g_session_id.empty())
        generate_session_id();
    std::string text = packet_header(header_side::request, "listchecks", g_session_id, 1) + "#";
    // Fill with pairs, then pad the last value to the exact length.
    while (text.size() + 8 < length)
        text += "k=v#";
    text.insert(text.size() - 1, std::string(length - text.size(), 'x'));
    return text;
}

// Each write on a SOCK_SEQPACKET socket is one record, and each read takes one record:
// the reader really sees one read per piece.
void send_in_pieces(int fd, const std::string& text, std::size_t piece)
{
    for (std::size_t at = 0; at < text.size(); at += piece)
        if (::write(fd, text.data() + at, std::min(piece, text.size() - at)) < 0)
            return;
}

void read_request(benchmark::State& state, const std::string& text, std::size_t piece,
                  const char* log = "/dev/null")
{
    trace_open(log);
    param_array args;
    for (auto _ : state) {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET, 0, sv) != 0) {
            state.SkipWithError("socketpair");
            return;
        }
        // A request in one piece fits the socket's buffer and is written before the read;
        // a request in many pieces needs a writer beside the reader.
        std::thread writer;
        if (piece >= text.size())
            send_in_pieces(sv[1], text, piece);
        else
            writer = std::thread(send_in_pieces, sv[1], std::cref(text), piece);
        try {
            benchmark::DoNotOptimize(read_cmd(args, sv[0]));
        } catch (const exit_request&) {
            // The worst-case text is no request: the reader refuses its header at the end.
        }
        if (writer.joinable())
            writer.join();
        ::close(sv[0]);
        ::close(sv[1]);
    }
}

void BM_ReadSmallRequest(benchmark::State& state)
{
    read_request(state, request_of_length(120), 4096);
}
BENCHMARK(BM_ReadSmallRequest)->Unit(benchmark::kMicrosecond);

void BM_ReadLargeRequest(benchmark::State& state)
{
    read_request(state, request_of_length(max_text), 4096);
}
BENCHMARK(BM_ReadLargeRequest)->Unit(benchmark::kMicrosecond);

// A text is complete as soon as it ends after a field's '#', so a real request sent a byte
// at a time is taken at its first pair. The reader's worst case is a text that stays
// incomplete to its last byte: one quoted value of 16383 characters in all.
std::string quoted_of_length(std::size_t length)
{
    std::string text = "#keycount=\"";
    text += std::string(length - text.size() - 2, 'x');
    return text + "\"#";
}

void BM_ReadLargeRequestOneBytePerRead(benchmark::State& state)
{
    read_request(state, quoted_of_length(max_text), 1);
}
BENCHMARK(BM_ReadLargeRequestOneBytePerRead)->Unit(benchmark::kMillisecond);

// The same with a trace log in a file: past its eighth read a request's reads are only
// counted, so the log grows by about one request's length, not by its square.
void BM_ReadLargeRequestOneBytePerReadLogged(benchmark::State& state)
{
    dorv_test::temp_file log("");
    read_request(state, quoted_of_length(max_text), 1, log.path().c_str());
    trace_open("/dev/null");
}
BENCHMARK(BM_ReadLargeRequestOneBytePerReadLogged)->Unit(benchmark::kMillisecond)->Iterations(3);

// What decoding the whole text again after every byte would cost: the reader's earlier way.
void BM_FullRedecodeOneBytePerRead(benchmark::State& state)
{
    std::string text = quoted_of_length(max_text);
    param_array out;
    for (auto _ : state) {
        for (std::size_t n = 1; n <= text.size(); ++n)
            benchmark::DoNotOptimize(dorv_unpack(std::string_view(text).substr(0, n), out));
    }
}
BENCHMARK(BM_FullRedecodeOneBytePerRead)->Unit(benchmark::kMillisecond);

void BM_IncrementalDecodeOneBytePerRead(benchmark::State& state)
{
    std::string text = quoted_of_length(max_text);
    for (auto _ : state) {
        packet_decoder dec;
        for (char c : text)
            benchmark::DoNotOptimize(dec.feed(std::string_view(&c, 1)));
    }
}
BENCHMARK(BM_IncrementalDecodeOneBytePerRead)->Unit(benchmark::kMillisecond);

} // namespace
