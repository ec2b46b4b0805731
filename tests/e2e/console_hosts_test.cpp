// dorv-console --hosts over a real loopback sshd: the answering hosts give their passive
// results, a host that hangs or refuses fails alone within its own deadline, and the run
// says so in its summary and exit status.
#include <arpa/inet.h>
#include <netinet/in.h>
#include <sys/socket.h>
#include <unistd.h>

#include <fstream>
#include <gtest/gtest.h>

#include "e2e/console_harness.h"
#include "e2e/ssh_harness.h"
#include "support/fixture.h"
#include "support/temp_dir.h"

using namespace dorv_test;

namespace {

// A TCP socket on 127.0.0.1 that listens (and so completes connections) and never
// accepts or answers: an ssh to it waits for a greeting that never comes.
struct silent_port {
    int fd = ::socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
    int port = -1;
    silent_port()
    {
        sockaddr_in a{};
        a.sin_family = AF_INET;
        a.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
        socklen_t len = sizeof a;
        if (::bind(fd, reinterpret_cast<sockaddr*>(&a), sizeof a) == 0 && ::listen(fd, 16) == 0 &&
            ::getsockname(fd, reinterpret_cast<sockaddr*>(&a), &len) == 0)
            port = ntohs(a.sin_port);
    }
    ~silent_port() { ::close(fd); }
};

} // namespace

TEST(ConsoleHosts, HungAndRefusedHostsFailAloneWithinTheirDeadline)
{
    START_SSHD(sshd, "", DORV_AGENT);
    const temp_dir dir;
    // Every destination of the file reaches this sshd unless its own port says otherwise.
    // The hung host is given up by ssh after a few seconds; the run's deadline, which the
    // healthy hosts get, is one that no load on the test host reaches.
    std::string config = read_file(sshd.ssh_config());
    config.replace(config.find("Host dorv-test"), 14, "Host hung\n  ConnectTimeout 3\nHost *");
    std::ofstream(dir.path("ssh_config")) << config;
    const silent_port hang;
    ASSERT_GT(hang.port, 0);
    const silent_port closed_later; // its port, once closed, refuses
    const std::string refused_port = std::to_string(closed_later.port);
    std::ofstream(dir.path("hosts")) << "# name per line\n\nweb1\nalias2 web2\nssh://hung:" << hang.port
                                     << " hung\nssh://gone:" << refused_port << " gone\n";
    ::close(closed_later.fd);

    console_result r = sshd.console_only({"--hosts", dir.path("hosts"), "-j", "4", "--ssh-option", "-F",
                                          "--ssh-option", dir.path("ssh_config"), "-t", "40", "run",
                                          "Processes", "dorv", "+", "run", "CPU", "200"});
    EXPECT_EQ(r.status, 3) << r.err;
    for (const std::string host : {"web1", "web2"}) {
        EXPECT_NE(r.out.find("PROCESS_SERVICE_CHECK_RESULT;" + host + ";Processes dorv;0;Processes OK - "),
                  std::string::npos)
            << r.out;
        EXPECT_NE(r.out.find("PROCESS_SERVICE_CHECK_RESULT;" + host + ";CPU;0;CPU OK - "), std::string::npos);
    }
    for (const std::string host : {"hung", "gone"})
        EXPECT_EQ(count_of(r.out, "PROCESS_SERVICE_CHECK_RESULT;" + host + ";"), 2) << r.out;
    EXPECT_NE(r.out.find(";hung;CPU;3;CPU UNKNOWN - not run: ssh to ssh://hung:"), std::string::npos)
        << r.out;
    // The summary: the hung and the refused host (in the order they ended), the slowest.
    const std::string summary = "dorv-console: 4 hosts: 2 answered, 2 failed (";
    ASSERT_NE(r.err.find(summary), std::string::npos) << r.err;
    const std::string line =
        r.err.substr(r.err.find(summary), r.err.find('\n', r.err.find(summary)) - r.err.find(summary));
    EXPECT_TRUE(line.find("(hung, gone)") != std::string::npos ||
                line.find("(gone, hung)") != std::string::npos)
        << line;
    EXPECT_NE(r.err.find("dorv-console: hung: 1 further command not run\n"), std::string::npos) << r.err;
    // The hung host held up no other, and the run did not wait for the run's deadline.
    EXPECT_LT(r.seconds, 30);
    EXPECT_EQ(sshd.control_sockets().size(), 2u);
}
