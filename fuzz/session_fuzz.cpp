// The request reader and the session loop behind it, as the agent sees a connection.
// The input is a 4-byte seed and then the bytes the console sends; every 0x01 byte stands
// for the session identifier. The bytes go to serve_requests through a SOCK_SEQPACKET
// socket pair in records of random sizes (1 to 4096 bytes, from the seed), so every read of
// the loop returns exactly one record. Replies are read back one record per packet.
// Properties:
//  - every reply is a well-formed packet of at most 16383 characters: it decodes whole,
//    opens with keycount (the count of the pairs after it), responseaction (one of the
//    four actions) and sessionid (this agent's), and a "parameters" value decodes too;
//  - the loop ends by the end of input or with one of the statuses a console can cause
//    (1 bad header, 3-6 malformed request, 7 unknown action, 8 not a packet, 10 array full,
//    11 request too long), never by failing to send a reply;
//  - status 11 comes with its trace line.
// Probe commands are fake scripts on PATH (vmstat, top, ps; df is the real /bin/df), so a
// run is fast and repeatable; ps lists more processes than one packet can carry.
#include <sys/mman.h>
#include <sys/socket.h>
#include <unistd.h>

#include <csignal>
#include <cstdint>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include "dorv/session.h"
#include "fuzz_check.h"
#include "protocol/packet.h"
#include "protocol/session_id.h"
#include "support/fake_command.h"

using namespace dorv;

namespace {

int trace_fd = -1; // memfd that stands in for the trace log during a run

void make_fake_probes()
{
    static const dorv_test::fake_commands fake(dorv_test::first_on_path);
    fake.script("vmstat",
                "echo ' procs      memory      page                    disks     faults         cpu'\n"
                "echo ' r b w     avm    fre   flt  re  pi  po    fr  sr ad0 ad1   in   sy   cs us sy id'\n"
                "echo ' 1 0 0   98304  51200    40   0   0   0    35   0   2   0   12  310   95  4  3 93'\n"
                "echo ' 0 0 0   98304  51188     6   0   0   0     0   0   5   0   20  250  110  9  6 85'\n");
    fake.script("top", "echo 'last pid:  4711;  load averages:  0.08,  0.12,  0.10'\n"
                       "echo 'Mem: 20M Active, 100M Inact, 50M Wired, 10M Cache, 30M Buf, 300M Free'\n"
                       "echo 'Swap: 1024M Total, 256M Free'\n");
    // 700 processes of about 40 characters: more than one packet holds.
    fake.script("ps", "echo 'USER COMMAND'\n"
                      "i=0\n"
                      "while [ $i -lt 700 ]; do\n"
                      "  echo \"root     /usr/local/sbin/daemon-number-$i -f /etc/d$i.conf\"\n"
                      "  echo \"www      /usr/local/sbin/httpd -k $i\"\n"
                      "  i=$((i + 1))\n"
                      "done\n");
}

// Record sizes from the seed: mostly small, sometimes up to a whole read.
struct record_sizes {
    std::uint32_t state;
    std::size_t next()
    {
        state = state * 1103515245u + 12345u;
        std::uint32_t r = state >> 8;
        return 1 + (r & 1 ? (r >> 1) % 16 : (r >> 1) % read_chunk);
    }
};

void check_reply(const std::string& reply)
{
    FUZZ_CHECK(reply.size() <= max_text);
    FUZZ_CHECK(reply.rfind("#keycount=", 0) == 0);
    param_array pairs;
    int n = dorv_unpack(reply, pairs);
    FUZZ_CHECK(n >= 6);
    FUZZ_CHECK(pairs.key(0) == "keycount" && pairs.value(0) == std::to_string(pairs.pairs() - 1));
    FUZZ_CHECK(pairs.key(1) == "responseaction");
    const std::string& action = pairs.value(1);
    FUZZ_CHECK(action == "listchecks" || action == "definecheck" || action == "runcheck" ||
               action == "getcomboparamvalues");
    FUZZ_CHECK(pairs.key(2) == "sessionid" && pairs.value(2) == g_session_id);
    FUZZ_CHECK(n > 6); // an empty reply is never sent
    for (int i = 3; i < pairs.pairs(); ++i) {
        if (pairs.key(i) == "parameters") {
            param_array descriptors;
            FUZZ_CHECK(dorv_unpack(pairs.value(i), descriptors) >= 6);
        }
    }
}

std::string trace_text()
{
    std::string text;
    char buf[65536];
    ::lseek(trace_fd, 0, SEEK_SET);
    for (ssize_t n; (n = ::read(trace_fd, buf, sizeof buf)) > 0;)
        text.append(buf, static_cast<std::size_t>(n));
    return text;
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    std::signal(SIGPIPE, SIG_IGN);
    g_session_id = "0123ABCD-4567-89EF-0123-456789ABCDEF";
    make_fake_probes();
    trace_fd = ::memfd_create("dorv-trace", 0);
    keep_reports();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size)
{
    if (size < 4)
        return 0;
    record_sizes sizes{static_cast<std::uint32_t>(data[0] | data[1] << 8 | data[2] << 16) ^
                       static_cast<std::uint32_t>(data[3]) << 24};
    std::string stream;
    for (std::size_t i = 4; i < size; ++i) {
        if (data[i] == 1)
            stream += g_session_id;
        else
            stream += static_cast<char>(data[i]);
    }

    // The trace shows what was read: a request may not forge the messages looked for.
    if (stream.find("send_cmd:") != std::string::npos)
        return 0;

    int in[2], out[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, in) != 0 ||
        ::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, out) != 0)
        std::abort();

    std::thread console_writes([&] {
        for (std::size_t at = 0; at < stream.size();) {
            std::size_t len = std::min(sizes.next(), stream.size() - at);
            if (::send(in[1], stream.data() + at, len, MSG_NOSIGNAL) < 0)
                break; // the loop has ended and closed its side
            at += len;
        }
        ::shutdown(in[1], SHUT_WR);
    });
    std::vector<std::string> replies;
    std::thread console_reads([&] {
        std::vector<char> buf(65536);
        for (ssize_t n; (n = ::recv(out[1], buf.data(), buf.size(), 0)) > 0;)
            replies.emplace_back(buf.data(), static_cast<std::size_t>(n));
    });

    ::ftruncate(trace_fd, 0);
    ::lseek(trace_fd, 0, SEEK_SET);
    int status = 0;
    try {
        trace_to memory(trace_fd);
        status = serve_requests(in[0], out[0]);
    } catch (const exit_request& e) {
        status = e.status;
    }

    ::close(in[0]);
    ::close(out[0]);
    console_writes.join();
    console_reads.join();
    ::close(in[1]);
    ::close(out[1]);

    std::string trace = trace_text();
    if (status != 0)
        expect_status(exit_request{status},
                      {exit_bad_header, exit_definecheck_no_checkid, exit_runcheck_no_checkid,
                       exit_runcheck_no_para, exit_getcombo_no_checkid, exit_not_implemented,
                       exit_not_a_packet, exit_array_full, exit_request_too_long});
    FUZZ_CHECK(trace.find("send_cmd:") == std::string::npos);
    if (status == exit_request_too_long)
        FUZZ_CHECK(trace.find("read_cmd: request too long\n") != std::string::npos);
    for (const auto& reply : replies)
        check_reply(reply);
    return 0;
}
