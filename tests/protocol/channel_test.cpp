// Sending and reading packets over real descriptors.
#include "protocol/channel.h"

#include <gtest/gtest.h>
#include <sys/socket.h>
#include <unistd.h>

#include <cctype>
#include <csignal>
#include <optional>
#include <thread>
#include <vector>

#include "protocol/header.h"
#include "protocol/reply_budget.h"
#include "protocol/session_id.h"
#include "support/capture.h"

using namespace dorv;
using dorv_test::exit_status_of;
using dorv_test::stderr_capture;

namespace {

const std::string id = "0123ABCD-4567-89EF-0123-456789ABCDEF";

// A connection whose reader sees each write as one read: a SEQPACKET socket pair keeps
// message boundaries, so a request split over several writes arrives in as many reads.
struct connection {
    int agent = -1;
    int console = -1;
    connection()
    {
        int sv[2];
        if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, sv) != 0)
            throw std::runtime_error("socketpair failed");
        agent = sv[0];
        console = sv[1];
    }
    ~connection()
    {
        if (agent >= 0)
            ::close(agent);
        if (console >= 0)
            ::close(console);
    }
    void send(const std::string& chunk) const
    {
        ASSERT_EQ(::write(console, chunk.data(), chunk.size()), static_cast<ssize_t>(chunk.size()));
    }
    void hang_up()
    {
        ::close(console);
        console = -1;
    }
};

std::string request(const std::string& action, const std::string& own = "")
{
    int pairs = 0;
    for (char c : own)
        pairs += c == '#';
    return packet_header(header_side::request, action, id, pairs) + "#" + own;
}

// Outcome of read_cmd over the given chunks, followed by the end of input.
struct read_result {
    int status = -1; // exit status, -1 when read_cmd returned
    std::optional<std::string> action;
    std::vector<std::string> args;
    std::string trace;
};

read_result read_chunks(const std::vector<std::string>& chunks, int args_max = max_entries)
{
    g_session_id = id;
    connection c;
    for (const auto& chunk : chunks)
        c.send(chunk);
    c.hang_up();
    read_result r;
    param_array args(args_max);
    args.texts = {"stale", "pair"};
    stderr_capture capture;
    r.status = exit_status_of([&] { r.action = read_cmd(args, c.agent); });
    r.args = args.texts;
    r.trace = capture.text();
    return r;
}

} // namespace

TEST(ReadCmd, WholeRequestGivesActionAndOwnPairsWithoutHeader)
{
    read_result r = read_chunks({request("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#")});
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.action, "runcheck");
    EXPECT_EQ(r.args, (std::vector<std::string>{"checkid", "CPU", "para", "#Load Limit [%]=80#"}));
    std::string text = request("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#");
    EXPECT_EQ(r.trace, "< [" + std::to_string(text.size()) + "] " + text + "\n");
}

TEST(ReadCmd, RequestSplitOverReadsIsTracedOncePerReadAndReadWhole)
{
    const std::string whole = request("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#");
    // Cut inside a key, inside a value, inside a quoted value, and right after the "#".
    const std::vector<std::vector<std::size_t>> cuts = {
        {std::string("#keycount=4#reque").size()},
        {std::string("#keycount=4#requestaction=runch").size()},
        {whole.find("Limit")},
        {1},
        {1, 17, whole.find("Limit"), whole.size() - 1},
    };
    for (const auto& at : cuts) {
        std::vector<std::string> chunks;
        std::string expected_trace;
        std::size_t from = 0;
        for (std::size_t i = 0; i <= at.size(); ++i) {
            std::size_t to = i < at.size() ? at[i] : whole.size();
            chunks.push_back(whole.substr(from, to - from));
            expected_trace += "< [" + std::to_string(to - from) + "] " + whole.substr(0, to) + "\n";
            from = to;
        }
        read_result r = read_chunks(chunks);
        EXPECT_EQ(r.action, "runcheck") << at[0];
        EXPECT_EQ(r.args, (std::vector<std::string>{"checkid", "CPU", "para", "#Load Limit [%]=80#"}));
        EXPECT_EQ(r.trace, expected_trace);
    }
}

TEST(ReadCmd, EndOfInputGivesNothing)
{
    struct row {
        std::vector<std::string> chunks;
        std::string last_trace_line;
    };
    const row rows[] = {
        {{}, "< [0] \n"},
        {{"#keycount=3#reque"}, "< [0] #keycount=3#reque\n"},
        // A line end after the packet keeps the text incomplete; the trace shows it escaped.
        {{request("listchecks") + "\n"}, "< [0] " + request("listchecks") + "\\n\n"},
        {{"#"}, "< [0] #\n"},
    };
    for (const auto& r : rows) {
        read_result got = read_chunks(r.chunks);
        EXPECT_EQ(got.status, -1);
        EXPECT_FALSE(got.action.has_value());
        ASSERT_GE(got.trace.size(), r.last_trace_line.size());
        EXPECT_EQ(got.trace.substr(got.trace.size() - r.last_trace_line.size()), r.last_trace_line);
    }
}

TEST(ReadCmd, BytesAfterThePacketInTheSameReadJoinTheRequest)
{
    read_result r = read_chunks({request("listchecks") + request("definecheck", "checkid=CPU#")});
    EXPECT_EQ(r.action, "listchecks");
    EXPECT_EQ(r.args, (std::vector<std::string>{"#keycount", "3", "requestaction", "definecheck", "sessionid",
                                                id, "checkid", "CPU"}));
}

TEST(ReadCmd, ZeroByteEndsTheTextOfItsRead)
{
    // What follows a zero byte within a read is overwritten by the next read.
    read_result r = read_chunks(
        {std::string("#keycount=3#requ\0junk", 21), "estaction=listchecks#sessionid=" + id + "#"});
    EXPECT_EQ(r.action, "listchecks");
    EXPECT_TRUE(r.args.empty());
}

TEST(ReadCmd, HeaderFaultsEndWithStatusOneAndTheirMessage)
{
    struct row {
        std::string text;
        const char* message;
    };
    std::string lower_id = id;
    for (char& ch : lower_id)
        ch = static_cast<char>(std::tolower(static_cast<unsigned char>(ch)));
    const row rows[] = {
        {"#keycounts=3#requestaction=listchecks#sessionid=" + id + "#", "no keycount\n"},
        {"#Keycount=3#requestaction=listchecks#sessionid=" + id + "#", "no keycount\n"},
        {"#requestaction=listchecks#keycount=3#sessionid=" + id + "#", "no keycount\n"},
        {"#keycount=3#", "no requestaction\n"},
        {"#keycount=3#sessionid=" + id + "#requestaction=listchecks#", "no requestaction\n"},
        {"#keycount=3#RequestAction=listchecks#sessionid=" + id + "#", "no requestaction\n"},
        {"#keycount=3#requestaction=listchecks#", "no sessionid\n"},
        {"#keycount=3#requestaction=listchecks#session=" + id + "#", "no sessionid\n"},
        {"#keycount=3#requestaction=listchecks#sessionid=" + lower_id + "#", "Session ID mismatch\n"},
        {"#keycount=3#requestaction=listchecks#sessionid=" + id + "0#", "Session ID mismatch\n"},
        {"#keycount=3#requestaction=listchecks#sessionid=#", "Session ID mismatch\n"},
    };
    for (const auto& r : rows) {
        read_result got = read_chunks({r.text});
        EXPECT_EQ(got.status, exit_bad_header) << r.text;
        EXPECT_EQ(got.trace, "< [" + std::to_string(r.text.size()) + "] " + r.text + "\n" + r.message)
            << r.text;
    }
}

TEST(ReadCmd, KeycountValueIsNotExamined)
{
    for (const std::string count : {"abc", "99", "", "2"}) {
        read_result r =
            read_chunks({"#keycount=" + count + "#requestaction=listchecks#sessionid=" + id + "#x=1#"});
        EXPECT_EQ(r.action, "listchecks") << count;
        EXPECT_EQ(r.args, (std::vector<std::string>{"x", "1"}));
    }
}

TEST(ReadCmd, TextNotStartingWithHashEndsWithStatusEight)
{
    EXPECT_EQ(read_chunks({"\n" + request("listchecks")}).status, exit_not_a_packet);
    EXPECT_EQ(read_chunks({std::string(1, '\0') + request("listchecks")}).status, exit_not_a_packet);
}

TEST(ReadCmd, OwnPairsMustFitBesideTheirNull)
{
    // Two own pairs and the null take five entries.
    read_result fits = read_chunks({request("listchecks", "a=1#b=2#")}, 5);
    EXPECT_EQ(fits.status, -1);
    EXPECT_EQ(fits.args, (std::vector<std::string>{"a", "1", "b", "2"}));
    read_result too_small = read_chunks({request("listchecks", "a=1#b=2#")}, 4);
    EXPECT_EQ(too_small.status, exit_bad_header);
    EXPECT_TRUE(too_small.trace.ends_with("\nshould not happen")) << too_small.trace;
}

// Over a pipe, so that the reader takes as much as each read allows.
namespace {

read_result read_from_pipe(const std::string& bytes)
{
    // The reader may stop before the writer is done; the writer must then fail, not die.
    std::signal(SIGPIPE, SIG_IGN);
    g_session_id = id;
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe failed");
    read_result r;
    std::thread writer([&] {
        std::size_t done = 0;
        while (done < bytes.size()) {
            ssize_t n = ::write(fds[1], bytes.data() + done, bytes.size() - done);
            if (n <= 0)
                break;
            done += static_cast<std::size_t>(n);
        }
        ::close(fds[1]);
    });
    param_array args;
    {
        stderr_capture capture;
        r.status = exit_status_of([&] { r.action = read_cmd(args, fds[0]); });
        r.trace = capture.text();
    }
    ::close(fds[0]); // a writer still blocked gets EPIPE
    writer.join();
    r.args = args.texts;
    return r;
}

} // namespace

TEST(ReadCmd, RequestNeverDecodingByItsLimitEndsWithStatusEleven)
{
    read_result r = read_from_pipe("#" + std::string(40000, 'a'));
    EXPECT_EQ(r.status, exit_request_too_long);
    EXPECT_TRUE(r.trace.ends_with("#" + std::string(max_text - 1, 'a') + "\nread_cmd: request too long\n"));
    // No read went past the limit: every read took at most 4096 bytes.
    EXPECT_EQ(r.trace.find("< [" + std::to_string(read_chunk + 1)), std::string::npos);
}

TEST(ReadCmd, RequestOfExactlyTheLimitIsServed)
{
    std::string head = request("listchecks", "pad=");
    std::string text = head + std::string(max_text - head.size() - 1, 'p') + "#";
    ASSERT_EQ(text.size(), max_text);
    read_result r = read_from_pipe(text);
    EXPECT_EQ(r.status, -1);
    EXPECT_EQ(r.action, "listchecks");
    ASSERT_EQ(r.args.size(), 2u);
    EXPECT_EQ(r.args[1].size(), max_text - head.size() - 1);
}

TEST(ReadCmd, FloodOfZeroBytesNeverGrowsTheText)
{
    read_result r = read_from_pipe("#" + std::string(3 * max_text, '\0'));
    EXPECT_EQ(r.status, -1);
    EXPECT_FALSE(r.action.has_value());
    EXPECT_TRUE(r.trace.ends_with("< [0] #\n"));
}

TEST(SendCmd, LoginPacketCarriesOnlyTheHeader)
{
    g_session_id = id;
    connection c;
    stderr_capture capture;
    std::string expected = "#keycount=2#responseaction=login#sessionid=" + id + "#";
    EXPECT_EQ(send_cmd("login", param_array{}, c.agent), static_cast<int>(expected.size()));
    char buf[256] = {};
    EXPECT_EQ(::read(c.console, buf, sizeof buf), static_cast<ssize_t>(expected.size()));
    EXPECT_EQ(std::string(buf), expected);
    EXPECT_EQ(capture.text(), "> " + expected + "\n");
}

TEST(SendCmd, KeycountIsOwnPairsPlusTwoAndReplyLengthMatches)
{
    g_session_id = id;
    param_array reply;
    array_add(reply, "checkid", 0, "CPU");
    array_add(reply, "result", 0, "up");
    connection c;
    stderr_capture capture;
    std::string expected = "#keycount=4#responseaction=runcheck#sessionid=" + id + "#checkid=CPU#result=up#";
    EXPECT_EQ(reply_length("runcheck", reply), expected.size());
    EXPECT_EQ(send_cmd("runcheck", reply, c.agent), static_cast<int>(expected.size()));
    char buf[256] = {};
    EXPECT_EQ(::read(c.console, buf, sizeof buf), static_cast<ssize_t>(expected.size()));
    EXPECT_EQ(std::string(buf), expected);
    // The caller's pairs are neither changed nor released.
    EXPECT_EQ(reply.texts, (std::vector<std::string>{"checkid", "CPU", "result", "up"}));
}

TEST(SendCmd, PacketOfTheLimitGoesOutOneMoreCharacterDoesNot)
{
    g_session_id = id;
    param_array reply;
    array_add(reply, "v", 0, "");
    std::size_t head = reply_length("definecheck", reply);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0); // a pipe holds more than the limit without a reader
    {
        stderr_capture capture;
        reply.texts[1].assign(max_text - head, 'x');
        EXPECT_EQ(send_cmd("definecheck", reply, fds[1]), static_cast<int>(max_text));
        reply.texts[1] += 'x';
        EXPECT_EQ(exit_status_of([&] { send_cmd("definecheck", reply, fds[1]); }), exit_packet_not_written);
        EXPECT_TRUE(capture.text().ends_with("send_cmd: packet too long\n"));
    }
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    for (ssize_t n; (n = ::read(fds[0], buf, sizeof buf)) > 0;)
        got.append(buf, static_cast<std::size_t>(n));
    ::close(fds[0]);
    EXPECT_EQ(got.size(), max_text); // the refused packet wrote nothing
}

TEST(SendCmd, ReaderGoneEndsWithStatusOneAfterTracingThePacket)
{
    g_session_id = id;
    auto old = std::signal(SIGPIPE, SIG_IGN);
    int fds[2];
    ASSERT_EQ(::pipe(fds), 0);
    ::close(fds[0]);
    stderr_capture capture;
    EXPECT_EQ(exit_status_of([&] { send_cmd("listchecks", param_array{}, fds[1]); }),
              exit_packet_not_written);
    EXPECT_EQ(capture.text(), "> #keycount=2#responseaction=listchecks#sessionid=" + id +
                                  "#\nsend_cmd: failed to write packet\n");
    ::close(fds[1]);
    std::signal(SIGPIPE, old);
}
