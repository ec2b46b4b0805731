// The agent under faults, end to end: a console that hangs up, a trace log or configuration
// file that cannot be used, probe commands that misbehave, a malformed or huge client
// address, and a long session whose memory must not grow.
#include <fcntl.h>
#include <poll.h>
#include <unistd.h>

#include <gtest/gtest.h>

#include <climits>
#include <cstdlib>
#include <fstream>
#include <iostream>

#include "base/exit_causes.h"
#include "e2e/agent_harness.h"
#include "protocol/limits.h"
#include "protocol/packet.h"
#include "support/check_list.h"
#include "support/fake_command.h"
#include "support/process.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

// An agent binary that first runs `setup` (a shell text) in the agent's working directory,
// then becomes the agent: same process, same input and output.
std::string start_script(const temp_dir& s, const std::string& setup)
{
    std::string path = s.path("start-agent");
    write_script(path, setup + "\nexec '" + std::string(DORV_TEST_AGENT) + "'\n");
    return path;
}

// Checks that `reply` is one whole packet of at most 16383 characters that answers `action`
// in this session, and returns its own pairs.
dorv::param_array expect_reply(agent& a, const std::string& reply, const std::string& action)
{
    dorv::param_array pairs;
    EXPECT_LE(reply.size(), dorv::max_text);
    if (reply.empty() || reply[0] != '#') {
        ADD_FAILURE() << "not a packet: " << reply.substr(0, 200);
        return pairs;
    }
    int n = dorv::dorv_unpack(reply, pairs);
    EXPECT_GE(n, 6) << reply.substr(0, 200);
    if (n < 6)
        return dorv::param_array{};
    EXPECT_EQ(pairs.key(0), "keycount");
    EXPECT_EQ(pairs.value(0), std::to_string(pairs.pairs() - 1));
    EXPECT_EQ(pairs.key(1), "responseaction");
    EXPECT_EQ(pairs.value(1), action);
    EXPECT_EQ(pairs.key(2), "sessionid");
    EXPECT_EQ(pairs.value(2), a.session_id());
    pairs.texts.erase(pairs.texts.begin(), pairs.texts.begin() + 6);
    return pairs;
}

// The pairs of a nested packet; a text that is not one fails the test.
dorv::param_array nested(const std::string& text)
{
    dorv::param_array pairs;
    try {
        EXPECT_GE(dorv::dorv_unpack(text, pairs), 6) << text.substr(0, 200);
    } catch (const dorv::exit_request&) {
        ADD_FAILURE() << "not a packet: " << text.substr(0, 200);
    }
    return pairs;
}

std::string value_of(const dorv::param_array& pairs, const std::string& key)
{
    for (int i = 0; i < pairs.pairs(); ++i)
        if (pairs.key(i) == key)
            return pairs.value(i);
    return "(no " + key + ")";
}

// Logs in, gets a well-formed answer to listchecks, and ends with status 0 at end of input.
void expect_serves(agent& a)
{
    ASSERT_EQ(a.login(), "#keycount=2#responseaction=login#sessionid=" + a.session_id() + "#");
    dorv::param_array pairs = expect_reply(a, a.request("listchecks", ""), "listchecks");
    EXPECT_EQ(value_of(pairs, "checkcount"), std::to_string(check_count()));
    a.close_input();
    EXPECT_EQ(a.wait(), 0);
}

std::string fd_target(pid_t pid, int fd)
{
    char buf[PATH_MAX];
    std::string link = "/proc/" + std::to_string(pid) + "/fd/" + std::to_string(fd);
    ssize_t n = ::readlink(link.c_str(), buf, sizeof buf - 1);
    return n < 0 ? "" : std::string(buf, static_cast<std::size_t>(n));
}

} // namespace

// ---- The console hangs up ----
// (Hanging up before the reply is in the session tests.)

TEST(Fault, ConsoleHangsUpMidReplyEndsWithStatusOne)
{
    // ps lists enough processes to fill a reply of about 16000 characters.
    temp_dir s;
    write_script(s.path("ps"),
                 "echo 'USER COMMAND'\n"
                 "i=0; while [ $i -lt 600 ]; do echo \"root /sbin/daemon-$i -f /etc/daemon-$i.conf\"; "
                 "i=$((i + 1)); done\n");
    agent_options options;
    options.path_prefix = {s.dir()};
    agent a(options);
    a.login();

    // A second read end on the agent's output, its pipe shrunk to one page: the reply
    // cannot go out in one piece, so the agent is still writing when the console leaves.
    std::string out = "/proc/" + std::to_string(a.pid()) + "/fd/1";
    int fd = ::open(out.c_str(), O_RDONLY | O_CLOEXEC);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::fcntl(fd, F_SETPIPE_SZ, 4096), 4096);
    a.send("definecheck", "checkid=Processes#");
    pollfd p{fd, POLLIN, 0};
    ASSERT_EQ(::poll(&p, 1, 20000), 1);
    char head[100];
    ASSERT_EQ(::read(fd, head, sizeof head), static_cast<ssize_t>(sizeof head));
    EXPECT_EQ(std::string(head, 12), "#keycount=4#");
    ::close(fd);
    a.close_output();

    EXPECT_EQ(a.wait(), 1);
    EXPECT_NE(a.trace().find("send_cmd: failed to write packet\n"), std::string::npos);
}

// ---- The trace log cannot be opened ----

TEST(Fault, UnusableTraceLogDropsTheTraceAndServes)
{
    temp_dir s;
    write_script(s.path("a-file"), "");
    const std::string logs[] = {
        s.path("missing/trace.log"), // its directory does not exist
        s.path("a-file/trace.log"),  // a file where its directory should be
        "/proc/1/dorv-trace.log",    // a directory nobody may write, root included
        s.dir(),                     // the log path is a directory
    };
    for (const auto& log : logs) {
        SCOPED_TRACE(log);
        agent_options options;
        options.config = "[agent]\nlog=" + log + "\n";
        agent a(options);
        a.login();
        // Descriptor 2 stays open, on /dev/null, so that no pipe of a probe takes it.
        EXPECT_EQ(fd_target(a.pid(), 2), "/dev/null");
        dorv::param_array cpu = expect_reply(a, a.request("definecheck", "checkid=CPU#"), "definecheck");
        EXPECT_EQ(value_of(cpu, "checkid"), "CPU");
        expect_serves(a);
    }
    EXPECT_EQ(::access(s.path("missing").c_str(), F_OK), -1);
}

// ---- The configuration file is unusable ----

TEST(Fault, UnusableConfigurationFileGivesTheDefaults)
{
    temp_dir s;
    // Binary garbage: zero bytes, every byte value, an overlong line, no final line feed.
    std::string garbage;
    std::uint32_t r = 12345;
    for (int i = 0; i < 50000; ++i) {
        r = r * 1103515245u + 12345u;
        garbage += static_cast<char>(r >> 16);
    }
    garbage += std::string(20000, '[') + "]";
    std::ofstream(s.path("garbage"), std::ios::binary) << garbage;
    std::ofstream(s.path("garbage-then-log"), std::ios::binary)
        << garbage << "\n[agent]\nlog=" << s.path("trace.log") << "\n";

    struct row {
        const char* what;
        std::string setup;
        bool log_used;
    };
    const row rows[] = {
        {"missing", "", false},
        {"empty", "mkdir -p etc/dorv && : > etc/dorv/dorv.ini", false},
        {"garbage", "mkdir -p etc/dorv && cp '" + s.path("garbage") + "' etc/dorv/dorv.ini", false},
        {"garbage, then a log",
         "mkdir -p etc/dorv && cp '" + s.path("garbage-then-log") + "' etc/dorv/dorv.ini", true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.what);
        ::unlink(s.path("trace.log").c_str());
        agent_options options;
        options.config.reset();
        options.binary = start_script(s, row.setup);
        agent a(options);
        a.login();
        EXPECT_EQ(fd_target(a.pid(), 2), row.log_used ? s.path("trace.log") : "/dev/null");
        expect_serves(a);
        std::string trace = read_file(s.path("trace.log"));
        EXPECT_EQ(trace.find("Accepted new connection for user ") != std::string::npos, row.log_used);
    }
}

// ---- Probe commands misbehave ----

namespace {

struct probe_fault {
    const char* what;
    // Body of each fake command (vmstat, top, ps), or empty for commands missing from PATH.
    std::string body;
};

// Shell text that prints `n` times the text `piece` on one line, then a line feed.
std::string one_line(const std::string& head, const std::string& piece, int n)
{
    return "printf '%s' '" + head + "'; awk 'BEGIN { for (i = 0; i < " + std::to_string(n) +
           "; i++) printf \"" + piece + "\"; print \"\" }'\n";
}

} // namespace

TEST(Fault, MisbehavingProbeCommandsStillGetWellFormedReplies)
{
    const probe_fault faults[] = {
        {"missing", ""},
        {"exits at once", "exit 1\n"},
        {"prints nothing and lingers", "exec >&-\nsleep 0.2\n"},
        {"prints one line of 100000 characters", "case \"$0\" in\n"
                                                 "*ps) echo 'USER COMMAND'; " +
                                                     one_line("root /usr/bin/", "a", 100000) +
                                                     ";;\n"
                                                     "*top) " +
                                                     one_line("Mem: ", "1 ", 50000) +
                                                     ";;\n"
                                                     "*) " +
                                                     one_line("", "1 ", 50000) + ";;\nesac\n"},
        {"prints zero bytes",
         "printf 'USER COMMAND\\n\\000\\000\\000\\nroot \\000/sbin/init\\n'\n"
         "printf 'Mem: 1\\0002 3 4\\nSwap: 4 2\\000 9 9\\n\\000\\000\\n 1 2 3 4 5\\000 6\\n'\n"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        temp_dir s;
        agent_options options;
        if (fault.body.empty()) {
            // Nothing on PATH but an empty directory: the shell finds none of the commands.
            options.binary = start_script(s, "PATH='" + s.dir() + "'; export PATH");
        } else {
            for (const char* name : {"vmstat", "top", "ps"})
                write_script(s.path(name), fault.body);
            options.path_prefix = {s.dir()};
        }
        agent a(options);
        a.login();

        dorv::param_array cpu =
            expect_reply(a, a.request("runcheck", "checkid=CPU#para=\"#Load Limit [%]=80#\"#"), "runcheck");
        dorv::param_array ram = expect_reply(
            a, a.request("runcheck", "checkid=RAM#para=\"#Free RAM Limit [%]=10#\"#"), "runcheck");
        dorv::param_array swap = expect_reply(
            a, a.request("runcheck", "checkid=Swap#para=\"#Free Swap Limit [%]=10#\"#"), "runcheck");
        dorv::param_array list =
            expect_reply(a, a.request("definecheck", "checkid=Processes#"), "definecheck");
        dorv::param_array proc = expect_reply(
            a, a.request("runcheck", "checkid=Processes#para=\"#Select Process=aaa#\"#"), "runcheck");
        dorv::param_array descriptors = nested(value_of(list, "parameters"));

        std::string what = fault.what;
        if (what == "prints one line of 100000 characters") {
            // The line comes in pieces of 16383 characters: the fourth is the sample.
            EXPECT_EQ(value_of(cpu, "resultstring"), "CPU load is 2");
            EXPECT_EQ(value_of(ram, "errormessage"),
                      "top -d 1 -n 1 -b printed no line that gives the RAM figure");
            // Its first piece is a root process, too long for any list; the name still counts.
            EXPECT_EQ(value_of(descriptors, "valuecount"), "0");
            EXPECT_EQ(value_of(proc, "resultstring"), "Process aaa is running");
        } else if (what == "prints zero bytes") {
            // A line ends at its first zero byte.
            EXPECT_EQ(
                value_of(cpu, "errormessage"),
                "vmstat 1 2 printed a sample line of 1 number, fewer than the 4 its column header needs");
            EXPECT_EQ(value_of(ram, "errormessage"),
                      "top -d 1 -n 1 -b printed no line that gives the RAM figure");
            EXPECT_EQ(value_of(swap, "resultstring"), "50% of SWAP memory free");
            EXPECT_EQ(value_of(descriptors, "valuecount"), "1");
            EXPECT_EQ(value_of(descriptors, "value1"), "");
        } else {
            // Nothing to read: each check names its command and the cause, never a figure.
            std::string status = what == "missing"         ? " (exit status 127: command not found)"
                                 : what == "exits at once" ? " (exit status 1)"
                                                           : "";
            EXPECT_EQ(value_of(cpu, "errormessage"), "vmstat 1 2 printed nothing" + status);
            EXPECT_EQ(value_of(ram, "errormessage"),
                      "top -d 1 -n 1 -b printed no line that gives the RAM figure" + status);
            EXPECT_EQ(value_of(swap, "errormessage"),
                      "top -d 1 -n 1 -b printed no line that gives the swap figure" + status);
            EXPECT_EQ(value_of(descriptors, "valuecount"), "0");
            EXPECT_EQ(value_of(proc, "errormessage"),
                      "ps -ax -o user,args printed nothing, not even its header line" + status);
            EXPECT_NE(a.trace().find("vmstat 1 2 printed nothing" + status + "\n"), std::string::npos);
        }
        expect_serves(a);
    }
}

TEST(Fault, MisbehavingDfStillGetsWellFormedReplies)
{
    // df is run by its absolute path: a fake one can only be bound over /bin/df in a
    // private mount namespace.
    if (::geteuid() != 0 || std::system("unshare -m true 2>/dev/null") != 0)
        GTEST_SKIP() << "needs root and mount namespaces";
    const probe_fault faults[] = {
        {"exits at once", "exit 1\n"},
        {"prints one line of 100000 characters", one_line("/dev/a 1 2 3 55% /", "m", 100000)},
        {"prints zero bytes",
         "printf 'Filesystem Capacity Mounted on\\n/dev/a 5\\000%% /\\n/dev/b 7%% /b\\000c\\n'\n"},
    };
    for (const auto& fault : faults) {
        SCOPED_TRACE(fault.what);
        temp_dir s;
        write_script(s.path("df"), fault.body);
        agent_options options;
        options.binary = start_script(s, "exec unshare -m sh -c \"mount --bind '" + s.path("df") +
                                             "' /bin/df && exec '" + DORV_TEST_AGENT + "'\"");
        agent a(options);
        a.login();
        dorv::param_array list =
            expect_reply(a, a.request("definecheck", "checkid=DiskSpace#"), "definecheck");
        dorv::param_array descriptors = nested(value_of(list, "parameters"));
        dorv::param_array run = expect_reply(
            a, a.request("runcheck", "checkid=DiskSpace#para=\"#Disk Free Limit [%]=10#Disks=/b#\"#"),
            "runcheck");
        std::string what = fault.what;
        if (what == "prints zero bytes") {
            EXPECT_EQ(value_of(descriptors, "valuecount"), "1");
            EXPECT_EQ(value_of(descriptors, "value1"), "/b");
            EXPECT_EQ(value_of(run, "resultstring"), "Disk /b is 7% used");
        } else if (what == "prints one line of 100000 characters") {
            // Its first piece lists a mount point too long for the list, and not /b.
            EXPECT_EQ(value_of(descriptors, "valuecount"), "0");
            EXPECT_EQ(value_of(run, "resultstring"), "Disk /b is not mounted");
        } else {
            EXPECT_EQ(value_of(descriptors, "valuecount"), "0");
            EXPECT_EQ(value_of(run, "errormessage"), std::string("/bin/df listed no file system") +
                                                         (what == "exits at once" ? " (exit status 1)" : ""));
        }
        expect_serves(a);
    }
}

// ---- SSH_CLIENT malformed or huge ----

TEST(Fault, MalformedOrHugeClientAddressIsAdmittedOrRejectedCleanly)
{
    const std::string huge_digits(100000, '7');
    const std::string huge_dots(100000, '.');
    const std::string huge_tail = "10.1.2.3 " + std::string(100000, 'x');
    struct row {
        std::string ssh_client;
        bool admitted;
    };
    // The range 10.0.0.0-10.255.255.255 applies to the login name.
    const row rows[] = {
        // A client text that is no address matches nothing.
        {"", false},
        {"::ffff:", false},
        {"10.1.2.3", true}, // no space: used whole
        {"10.1.2.3.4.5 1 2", false},
        {"  10.1.2.3", false}, // cut at the first space: empty
        {"garbage 1 2", false},
        {"-1.-1.-1.-1", false},
        {"99999999999.0.0.1", false},
        {"10.1.2.3:40000 1 2", false},
        {huge_digits, false},
        {huge_dots, false},
        {huge_tail, true},
    };
    for (const auto& row : rows) {
        SCOPED_TRACE(row.ssh_client.substr(0, 40));
        agent_options options;
        options.ssh_client = row.ssh_client;
        options.config = "[firewall]\n" + user_name() + "=10.0.0.0-10.255.255.255\n";
        agent a(options);
        if (row.admitted) {
            expect_serves(a);
            std::string ip = row.ssh_client.substr(0, row.ssh_client.find(' '));
            EXPECT_NE(a.trace().find(" from IP " + ip + "\n"), std::string::npos);
        } else {
            EXPECT_EQ(a.read_packet(), "");
            EXPECT_EQ(a.wait(), 1);
            EXPECT_NE(a.trace().find("Rejected IP address "), std::string::npos);
        }
    }
}

// ---- A long session ----

TEST(Fault, TenThousandRequestsDoNotGrowMemory)
{
#if defined(__SANITIZE_ADDRESS__)
    // ASan keeps freed memory in quarantine: the figures grow by design there.
    const bool compare = false;
#else
    const bool compare = !std::getenv("DORV_MEMCHECK"); // nor under valgrind
#endif
    // The test build, and the shipped static agent when this host has no configuration of
    // its own for it to read (and perhaps a log to fill).
    std::vector<std::string> binaries = {DORV_TEST_AGENT};
    if (::access("/etc/dorv/dorv.ini", F_OK) != 0)
        binaries.push_back(DORV_AGENT);

    const std::string pad = "pad=" + std::string(8000, 'p') + "#";
    // Every kind of request is among the first ten, the largest included.
    const std::pair<std::string, std::string> kinds[] = {
        {"listchecks", ""},
        {"definecheck", "checkid=CPU#"},
        {"getcomboparamvalues", "checkid=RAM#"},
        {"runcheck", "checkid=Nope#para=\"#x=1#\"#"},
        {"definecheck", "checkid=Nope#" + pad},
    };
    for (const auto& binary : binaries) {
        SCOPED_TRACE(binary);
        agent_options options;
        options.binary = binary;
        // A log of 10000 exchanges is not what this test is about.
        options.config = "[agent]\nlog=/dev/null\n";
        agent a(options);
        a.login();
        long at_10 = 0;
        for (int i = 1; i <= 10000; ++i) {
            const auto& [action, pairs] = kinds[i % 5];
            std::string reply = a.request(action, pairs);
            ASSERT_EQ(reply.rfind("#keycount=", 0), 0u) << "request " << i;
            if (i == 10)
                at_10 = peak_rss_kb(a.pid());
        }
        long at_10000 = peak_rss_kb(a.pid());
        std::cout << binary << ": peak RSS (VmHWM) " << at_10 << " kB after 10 requests, " << at_10000
                  << " kB after 10000\n";
        ASSERT_GT(at_10, 0);
        // Two pages of slack for the allocator; one leaked block per request (32 bytes at
        // least) would add 300 kB.
        if (compare) {
            EXPECT_LE(at_10000 - at_10, 8);
        }
        a.close_input();
        EXPECT_EQ(a.wait(), 0);
    }
    if (!compare)
        GTEST_SKIP() << "peak RSS is not compared under a memory checker";
}
