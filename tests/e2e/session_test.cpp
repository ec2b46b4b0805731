// The agent's session, end to end: login, admission, the request loop and how it ends.
#include <gtest/gtest.h>
#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cstdlib>
#include <ctime>
#include <optional>
#include <thread>

#include "e2e/agent_harness.h"
#include "protocol/header.h"
#include "support/check_list.h"
#include "support/id_layout.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

const std::string me = user_name();

std::string firewall(const std::string& range)
{
    return "[firewall]\n" + me + "=" + range + "\n";
}

std::string accepted(const std::string& ip)
{
    return "Accepted new connection for user " + me + " from IP " + ip + "\n";
}

std::string header(const std::string& action, int own_pairs, const std::string& id)
{
    return dorv::packet_header(dorv::header_side::request, action, id, own_pairs) + "#";
}

agent_options options(const std::optional<std::string>& ssh_client, const std::optional<std::string>& config)
{
    agent_options o;
    o.ssh_client = ssh_client;
    o.config = config;
    return o;
}

// The text as the trace shows it: a line end as "\n".
std::string traced(const std::string& text)
{
    std::string shown;
    for (char c : text)
        shown += c == '\n' ? std::string("\\n") : std::string(1, c);
    return shown;
}

std::string read_line(const std::string& text)
{
    return "< [" + std::to_string(text.size()) + "] " + traced(text) + "\n";
}

// The agent ends and nothing more arrives on its output.
void expect_end(agent& a, int status)
{
    EXPECT_EQ(a.wait(), status);
    EXPECT_EQ(a.read_packet(std::chrono::milliseconds(100)), "");
}

} // namespace

TEST(Session, LoginPacketIsTheHeaderAloneThenEndOfInputEndsWithZero)
{
    ASSERT_FALSE(me.empty());
    agent a;
    const std::string& login = a.login();
    EXPECT_TRUE(has_id_layout(a.session_id())) << login;
    EXPECT_EQ(login, "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
    a.close_input();
    expect_end(a, 0);
    EXPECT_EQ(a.trace(), "\n" + accepted("127.0.0.1") + "> " + login + "\n< [0] \n");
}

TEST(Session, AgentsStartedInTheSameSecondShareTheIdentifier)
{
    for (int attempt = 0; attempt < 5; ++attempt) {
        // Both start as a new second begins, so that a slow start on a busy host still
        // falls within it.
        for (std::time_t last = std::time(nullptr); std::time(nullptr) == last;)
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        std::time_t before = std::time(nullptr);
        agent a, b;
        std::string first = a.session_id(), second = b.session_id();
        if (std::time(nullptr) != before)
            continue; // the second ticked over in between
        EXPECT_TRUE(has_id_layout(first));
        EXPECT_EQ(first, second);
        return;
    }
    FAIL() << "no two agents started within one second";
}

TEST(Session, ClientAddressIsSshClientUpToItsFirstSpace)
{
    struct row {
        std::optional<std::string> ssh_client;
        std::string shown;
    };
    const row rows[] = {
        {"10.1.2.3 40000 22", "10.1.2.3"},
        {"10.1.2.3", "10.1.2.3"},
        {"::ffff:10.1.2.3 40000 22", "::ffff:10.1.2.3"},
        // Unset: nothing to check, admitted even by a narrow range.
        {std::nullopt, "<unknown>"},
    };
    for (const auto& r : rows) {
        agent a(options(r.ssh_client, firewall("10.0.0.0-10.255.255.255")));
        EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#") << r.shown;
        EXPECT_TRUE(a.trace().starts_with("\n" + accepted(r.shown))) << a.trace();
        a.close_input();
        EXPECT_EQ(a.wait(), 0);
    }
}

TEST(Session, AdmissionByTheRangeOfTheUsersFirewallEntry)
{
    struct row {
        std::string config;
        std::string ssh_client;
        std::optional<std::string> rejected_as; // the address in the rejection line
    };
    const std::string wide = firewall("10.0.0.0-10.255.255.255");
    const std::string blanks = firewall("10.0.0.0 - 10.0.0.255");
    const row rows[] = {
        {wide, "10.1.2.3 40000 22", std::nullopt},
        {wide, "10.0.0.0 40000 22", std::nullopt},
        {wide, "10.255.255.255 40000 22", std::nullopt},
        {wide, "11.0.0.1 40000 22", "11.0.0.1"},
        {wide, "9.255.255.255 40000 22", "9.255.255.255"},
        {wide, "::ffff:10.1.2.3 40000 22", std::nullopt},
        {wide, "::ffff:11.0.0.1 40000 22", "11.0.0.1"},
        {blanks, "10.0.0.255 40000 22", std::nullopt},
        {blanks, "10.0.1.0 40000 22", "10.0.1.0"},
        {firewall("0.0.0.0-255.255.255.255"), "200.1.1.1 40000 22", std::nullopt},
        {firewall("10.0.0.0-192.168.255.255"), "192.169.0.1 40000 22", "192.169.0.1"},
        // An IPv6 client meets no IPv4 item, also not one that starts at 0.0.0.0.
        {wide, "::1 40000 22", "::1"},
        {wide, "", ""}, // set but empty: no address
        {firewall("0.0.0.0-10.0.0.0"), "::1 40000 22", "::1"},
        // Only the entry keyed by this user's name in [firewall] counts.
        {"[firewall]\n" + me + "x=10.0.0.0-10.0.0.1\nx" + me + "=10.0.0.0-10.0.0.1\n", "11.0.0.1 40000 22",
         std::nullopt},
        {"[other]\n" + me + "=10.0.0.0-10.0.0.1\n", "11.0.0.1 40000 22", std::nullopt},
        // A value without '-' is a single address.
        {"[firewall]\n" + me + "=10.0.0.0\n", "11.0.0.1 40000 22", "11.0.0.1"},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.config + " " + r.ssh_client);
        agent a(options(r.ssh_client, r.config));
        if (r.rejected_as) {
            EXPECT_EQ(a.login(), "");
            expect_end(a, 1);
            std::string range = r.config.substr(r.config.find('=') + 1);
            range.pop_back();
            EXPECT_EQ(a.trace(),
                      "\nRejected IP address " + *r.rejected_as + ": not in allowed range " + range + "\n");
        } else {
            EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
            EXPECT_TRUE(
                a.trace().starts_with("\n" + accepted(r.ssh_client.substr(0, r.ssh_client.find(' ')))));
            a.close_input();
            EXPECT_EQ(a.wait(), 0);
        }
    }
}

TEST(Session, LoginNameIsTheUserTheAgentRunsAs)
{
    if (::geteuid() != 0)
        GTEST_SKIP() << "running the agent as another user needs root";
    uid_t unknown = 54321;
    while (::getpwuid(unknown))
        ++unknown;
    // Every name that could be taken for the user has a range that leaves 11.0.0.1 out.
    const std::string config = "[firewall]\n<unknown>=10.0.0.0-10.0.0.1\n" + me + "=10.0.0.0-10.0.0.1\n";
    {
        // Not in the password database: no name, and so no way to know the entry that
        // applies; rejected while [firewall] holds any entry, admitted when it holds none.
        agent_options o = options("11.0.0.1 40000 22", config);
        o.uid = unknown;
        o.env = {{"USER", me}, {"LOGNAME", me}};
        agent a(o);
        EXPECT_EQ(a.login(), "");
        EXPECT_EQ(a.wait(), 1);
        EXPECT_EQ(a.trace(), "\nRejected IP address 11.0.0.1: login name unknown\n");
        o.config = "[firewall]\n";
        agent b(o);
        EXPECT_EQ(b.login(), "#keycount=2#responseaction=login#sessionid=" + b.session_id() + "#");
        EXPECT_TRUE(b.trace().starts_with("\nAccepted new connection for user <unknown> from IP 11.0.0.1\n"))
            << b.trace();
        b.close_input();
        EXPECT_EQ(b.wait(), 0);
    }
    if (const passwd* nobody = ::getpwnam("nobody")) {
        // Its own name keys its range, whatever the environment says.
        for (const auto& [range, admitted] :
             {std::pair{"10.0.0.0-10.0.0.1", false}, {"11.0.0.0-11.0.0.1", true}}) {
            SCOPED_TRACE(range);
            agent_options o = options("11.0.0.1 40000 22", config + "nobody=" + range + "\n");
            o.uid = nobody->pw_uid;
            o.env = {{"USER", me}, {"LOGNAME", me}};
            agent a(o);
            if (admitted) {
                EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
                EXPECT_TRUE(
                    a.trace().starts_with("\nAccepted new connection for user nobody from IP 11.0.0.1\n"))
                    << a.trace();
                a.close_input();
                EXPECT_EQ(a.wait(), 0);
            } else {
                EXPECT_EQ(a.login(), "");
                EXPECT_EQ(a.wait(), 1);
                EXPECT_EQ(a.trace(), "\nRejected IP address 11.0.0.1: not in allowed range " +
                                         std::string(range) + "\n");
            }
        }
    }
}

TEST(Session, RequestSplitOverWritesIsAnsweredOnceWithOneTraceLinePerRead)
{
    struct row {
        const char* where;
        std::vector<std::string> marks; // the request is cut just before each mark
    };
    const row rows[] = {
        {"inside a key", {"uestaction"}},
        {"inside a value", {"checks#"}},
        {"inside a quoted value", {"=1#\"#"}},
        // Whether the value is quoted is known only once the '#' after the quote arrives.
        {"right after a closing quote", {"#y=2"}},
        {"everywhere", {"count", "uestaction", "checks#", "sionid", "a=1", "\"#"}},
    };
    for (const auto& r : rows) {
        SCOPED_TRACE(r.where);
        agent a;
        const std::string whole = header("listchecks", 2, a.session_id()) + "x=\"#a=1#\"#y=2#";
        std::string expected = "\n" + accepted("127.0.0.1") + "> " + a.login() + "\n";
        std::vector<std::size_t> cuts;
        std::size_t at = 0;
        for (const auto& mark : r.marks) {
            at = whole.find(mark, at + 1);
            ASSERT_NE(at, std::string::npos) << mark;
            cuts.push_back(at);
        }
        cuts.push_back(whole.size());
        std::size_t from = 0;
        for (std::size_t to : cuts) {
            // Each piece is written once the agent has traced its read of the one before.
            std::string piece = whole.substr(from, to - from);
            a.write(piece);
            expected += "< [" + std::to_string(piece.size()) + "] " + whole.substr(0, to) + "\n";
            ASSERT_TRUE(a.wait_trace(expected)) << a.trace();
            from = to;
        }
        std::string reply = a.read_packet();
        EXPECT_TRUE(reply.starts_with("#keycount=")) << reply;
        EXPECT_NE(reply.find("#responseaction=listchecks#sessionid=" + a.session_id() + listchecks_pairs()),
                  std::string::npos)
            << reply;
        a.close_input();
        expect_end(a, 0);
        EXPECT_EQ(a.trace(), expected + "> " + reply + "\n< [0] \n");
    }
}

TEST(Session, HeaderFaultsEndWithTheirMessageAndStatusOne)
{
    struct row {
        std::string (*text)(const std::string& id);
        const char* message;
    };
    const row rows[] = {
        {[](const std::string& id) { return "#keycounts=2#requestaction=listchecks#sessionid=" + id + "#"; },
         "no keycount\n"},
        {[](const std::string& id) { return "#keycount=1#sessionid=" + id + "#"; }, "no requestaction\n"},
        {[](const std::string&) { return std::string("#keycount=1#requestaction=listchecks#"); },
         "no sessionid\n"},
        {[](const std::string& id) {
             std::string lower = id;
             for (char& c : lower)
                 c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
             return "#keycount=2#requestaction=listchecks#sessionid=" + lower + "#";
         },
         "Session ID mismatch\n"},
        {[](const std::string& id) { return "#keycount=2#requestaction=listchecks#sessionid=" + id + " #"; },
         "Session ID mismatch\n"},
    };
    for (const auto& r : rows) {
        agent a;
        const std::string text = r.text(a.session_id());
        SCOPED_TRACE(text);
        a.write(text);
        expect_end(a, 1);
        EXPECT_TRUE(a.trace().ends_with("> " + a.login() + "\n" + read_line(text) + r.message)) << a.trace();
    }
}

TEST(Session, KeycountValueIsNotChecked)
{
    agent a;
    std::string reply = a.request("listchecks", "");
    a.write("#keycount=abc#requestaction=listchecks#sessionid=" + a.session_id() + "#");
    EXPECT_EQ(a.read_packet(), reply);
    a.close_input();
    expect_end(a, 0);
}

TEST(Session, TextNotStartingWithHashEndsWithStatusEight)
{
    for (const std::string prefix : {"\n", "keycount=2"}) {
        agent a;
        const std::string text = prefix + header("listchecks", 0, a.session_id());
        a.write(text);
        expect_end(a, 8);
        EXPECT_TRUE(a.trace().ends_with("> " + a.login() + "\n" + read_line(text))) << a.trace();
    }
}

TEST(Session, ActionWithoutHandlerEndsWithStatusSevenAndNoReply)
{
    for (const std::string action : {"ListChecks", "listcheck", "listchecksX", "login"}) {
        SCOPED_TRACE(action);
        agent a;
        // A known action is served first: the loop goes on until the unknown one.
        std::string reply = a.request("listchecks", "");
        EXPECT_NE(reply.find("#responseaction=listchecks#"), std::string::npos);
        a.send(action, "");
        expect_end(a, 7);
        EXPECT_TRUE(a.trace().ends_with(read_line(header(action, 0, a.session_id())) + "Command " + action +
                                        " not implemented\n"))
            << a.trace();
    }
}

TEST(Session, TwoRequestsInOneWriteAreOneRequest)
{
    agent a;
    const std::string one = header("listchecks", 0, a.session_id());
    a.write(one + one);
    std::string reply = a.read_packet();
    EXPECT_NE(reply.find("#responseaction=listchecks#"), std::string::npos);
    a.close_input();
    expect_end(a, 0);
}

TEST(Session, LineEndAfterTheRequestKeepsTheAgentWaiting)
{
    agent a;
    const std::string text = header("listchecks", 0, a.session_id()) + "\n";
    a.write(text);
    EXPECT_EQ(a.read_packet(std::chrono::milliseconds(100)), "");
    a.close_input();
    expect_end(a, 0);
    EXPECT_TRUE(a.trace().ends_with(read_line(text) + "< [0] " + traced(text) + "\n")) << a.trace();
}

TEST(Session, RequestThatNeverDecodesEndsWithStatusElevenAtItsLimit)
{
    agent a;
    a.login();
    a.write("#" + std::string(20000, 'a'));
    expect_end(a, 11);
    const std::string trace = a.trace();
    EXPECT_TRUE(trace.ends_with("] #" + std::string(16382, 'a') + "\nread_cmd: request too long\n"));
}

TEST(Session, ZeroBytesDoNotFillTheRequest)
{
    agent a;
    a.login();
    a.write("#" + std::string(40000, '\0'));
    a.close_input();
    expect_end(a, 0);
    EXPECT_TRUE(a.trace().ends_with("< [0] #\n")) << a.trace().substr(a.trace().size() - 100);
}

TEST(Session, ConsoleHangingUpEndsWithStatusOne)
{
    agent a;
    a.login();
    a.close_output();
    a.send("listchecks", "");
    EXPECT_EQ(a.wait(), 1); // not killed by SIGPIPE
    const std::string trace = a.trace();
    EXPECT_NE(trace.find("\n> #keycount="), trace.rfind("\n> #keycount=")) << trace;
    EXPECT_TRUE(trace.ends_with("#\nsend_cmd: failed to write packet\n")) << trace;
}

TEST(Session, TraceLogThatCannotBeOpenedLeavesAWorkingSession)
{
    // A FIFO that nobody reads would block an ordinary open for writing.
    const temp_dir fifo_dir;
    const std::string fifo = fifo_dir.path("trace.fifo");
    ASSERT_EQ(::mkfifo(fifo.c_str(), 0600), 0);
    for (const std::string& log :
         {std::string("/nonexistent-dorv-test-dir/trace.log"), std::string("/"), std::string(), fifo}) {
        SCOPED_TRACE(log);
        agent a(options("127.0.0.1 40000 22", "[agent]\nlog=" + log + "\n"));
        EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
        EXPECT_NE(a.request("listchecks", "").find("#responseaction=listchecks#"), std::string::npos);
        a.close_input();
        expect_end(a, 0);
    }
    struct stat st;
    EXPECT_NE(::stat("/nonexistent-dorv-test-dir", &st), 0);
}

// The shipped agent reads the fixed path /etc/dorv/dorv.ini (see shipped_agent).
TEST(ShippedAgent, ReadsEtcDorvDorvIni)
{
    if (!shipped_agent("", "127.0.0.1 40000 22"))
        GTEST_SKIP() << "a private mount namespace needs root and unshare -m";
    struct stat st;
    const bool had_etc_dorv = ::stat("/etc/dorv", &st) == 0;
    auto shipped = [&](const std::string& range) {
        return *shipped_agent("[firewall]\n" + me + "=" + range + "\n", "127.0.0.1 40000 22");
    };
    {
        agent a(shipped("127.0.0.0-127.255.255.255"));
        if (a.login().empty() && a.wait() == 125)
            GTEST_SKIP() << "no mount on /etc/dorv possible in the namespace";
        EXPECT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
        a.close_input();
        EXPECT_EQ(a.wait(), 0);
        EXPECT_EQ(a.trace(), "\n" + accepted("127.0.0.1") + "> " + a.login() + "\n< [0] \n");
    }
    {
        agent a(shipped("10.0.0.0-10.0.0.1"));
        EXPECT_EQ(a.login(), "");
        EXPECT_EQ(a.wait(), 1);
        EXPECT_EQ(a.trace(), "\nRejected IP address 127.0.0.1: not in allowed range 10.0.0.0-10.0.0.1\n");
    }
    EXPECT_EQ(::stat("/etc/dorv", &st) == 0, had_etc_dorv);
}
