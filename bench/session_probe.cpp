// Measures the real agent binary from outside, as a console sees it:
//   session AGENT N       N whole sessions (start, login, one listchecks, end of input),
//                         side by side with N starts of /bin/true
//   requests AGENT N      N listchecks round trips in one session: wall time per request,
//                         the agent's own CPU time per request, its peak RSS
//   check AGENT N CHECK NAME=VALUE... -- COMMAND...
//                         N runs of a check through one session, side by side with N runs
//                         of the bare command
// Times are medians in microseconds. Prints "name value" lines for bench/session.sh.
#include <fcntl.h>
#include <spawn.h>
#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>
#include <vector>

#include "protocol/header.h"
#include "protocol/packet.h"

extern char** environ;

namespace {

using clock_type = std::chrono::steady_clock;

double micros(clock_type::duration d)
{
    return std::chrono::duration<double, std::micro>(d).count();
}

double median(std::vector<double> v)
{
    std::sort(v.begin(), v.end());
    return v.empty() ? 0 : v[v.size() / 2];
}

struct child {
    pid_t pid = -1;
    int in = -1;
    int out = -1;
};

child start(const std::vector<std::string>& argv, bool piped)
{
    child c;
    int to[2], from[2];
    posix_spawn_file_actions_t fa;
    posix_spawn_file_actions_init(&fa);
    if (piped) {
        if (::pipe(to) != 0 || ::pipe(from) != 0)
            std::exit(2);
        posix_spawn_file_actions_adddup2(&fa, to[0], 0);
        posix_spawn_file_actions_adddup2(&fa, from[1], 1);
        posix_spawn_file_actions_addclose(&fa, to[1]);
        posix_spawn_file_actions_addclose(&fa, from[0]);
    } else {
        posix_spawn_file_actions_addopen(&fa, 1, "/dev/null", O_WRONLY, 0);
    }
    std::vector<char*> args;
    for (const auto& a : argv)
        args.push_back(const_cast<char*>(a.c_str()));
    args.push_back(nullptr);
    if (::posix_spawnp(&c.pid, args[0], &fa, nullptr, args.data(), environ) != 0) {
        std::perror(args[0]);
        std::exit(2);
    }
    posix_spawn_file_actions_destroy(&fa);
    if (piped) {
        ::close(to[0]);
        ::close(from[1]);
        c.in = to[1];
        c.out = from[0];
    }
    return c;
}

// Reads one packet: the agent writes each with one write, complete when it decodes.
std::string read_packet(int fd)
{
    std::string got;
    char buf[65536];
    for (;;) {
        ssize_t n = ::read(fd, buf, sizeof buf);
        if (n <= 0)
            return got;
        got.append(buf, static_cast<std::size_t>(n));
        dorv::param_array p;
        if (got.back() == '#' && dorv::dorv_unpack(got, p) != 0)
            return got;
    }
}

void send(int fd, const std::string& text)
{
    if (::write(fd, text.data(), text.size()) != static_cast<ssize_t>(text.size()))
        std::exit(2);
}

std::string session_id_of(const std::string& login)
{
    auto at = login.find("#sessionid=");
    return at == std::string::npos ? "" : login.substr(at + 11, 36);
}

std::string request(const std::string& sid, const std::string& action, const std::string& pairs, int own)
{
    return dorv::packet_header(dorv::header_side::request, action, sid, own) + "#" + pairs;
}

// The agent's own peak resident set (the spawning parent's pages before exec would count
// in the rusage figure).
long peak_rss_kib(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/status";
    FILE* f = std::fopen(path.c_str(), "r");
    long kib = -1;
    char line[256];
    while (f && std::fgets(line, sizeof line, f))
        if (std::sscanf(line, "VmHWM: %ld", &kib) == 1)
            break;
    if (f)
        std::fclose(f);
    return kib;
}

// Time the process has run on a CPU so far, in nanoseconds (-1 when the kernel keeps no
// scheduler statistics). Taken before and after the requests, it leaves start-up out.
long long run_time_ns(pid_t pid)
{
    std::string path = "/proc/" + std::to_string(pid) + "/schedstat";
    FILE* f = std::fopen(path.c_str(), "r");
    long long ns = -1;
    if (f) {
        if (std::fscanf(f, "%lld", &ns) != 1)
            ns = -1;
        std::fclose(f);
    }
    return ns;
}

rusage finish(child& c)
{
    if (c.in >= 0)
        ::close(c.in);
    int st;
    rusage ru{};
    ::wait4(c.pid, &st, 0, &ru);
    if (c.out >= 0)
        ::close(c.out);
    return ru;
}

double cpu_micros(const rusage& ru)
{
    return static_cast<double>(ru.ru_utime.tv_sec + ru.ru_stime.tv_sec) * 1e6 +
           static_cast<double>(ru.ru_utime.tv_usec + ru.ru_stime.tv_usec);
}

int cmd_session(const std::string& agent, int n)
{
    std::vector<double> floor_t, session_t;
    for (int i = 0; i < n; ++i) {
        // Alternate, so that both see the same machine.
        auto t0 = clock_type::now();
        child t = start({"/bin/true"}, false);
        finish(t);
        floor_t.push_back(micros(clock_type::now() - t0));

        t0 = clock_type::now();
        child a = start({agent}, true);
        std::string sid = session_id_of(read_packet(a.out));
        send(a.in, request(sid, "listchecks", "", 0));
        read_packet(a.out);
        finish(a);
        session_t.push_back(micros(clock_type::now() - t0));
    }
    std::printf("true_us %.1f\nsession_us %.1f\nsession_ratio %.2f\n", median(floor_t), median(session_t),
                median(session_t) / median(floor_t));
    return 0;
}

int cmd_requests(const std::string& agent, int n)
{
    child a = start({agent}, true);
    std::string sid = session_id_of(read_packet(a.out));
    std::string req = request(sid, "listchecks", "", 0);
    std::vector<double> rt;
    long long ran0 = run_time_ns(a.pid);
    for (int i = 0; i < n; ++i) {
        auto t0 = clock_type::now();
        send(a.in, req);
        read_packet(a.out);
        rt.push_back(micros(clock_type::now() - t0));
    }
    long long ran1 = run_time_ns(a.pid);
    long hwm = peak_rss_kib(a.pid);
    rusage ru = finish(a);
    // Without scheduler statistics, the whole process's CPU time, start-up included.
    double cpu = ran0 >= 0 && ran1 >= ran0 ? static_cast<double>(ran1 - ran0) / 1e3 : cpu_micros(ru);
    std::printf("requests %d\nround_trip_us %.1f\nagent_cpu_per_request_us %.2f\npeak_rss_kib %ld\n", n,
                median(rt), cpu / n, hwm);
    return 0;
}

int cmd_check(const std::string& agent, int n, const std::string& check, const std::string& para,
              const std::vector<std::string>& bare)
{
    std::vector<double> bare_t, agent_t;
    child a = start({agent}, true);
    std::string sid = session_id_of(read_packet(a.out));
    std::string req = request(sid, "runcheck", "checkid=" + check + "#para=\"" + para + "\"#", 2);
    for (int i = 0; i < n; ++i) {
        auto t0 = clock_type::now();
        child b = start(bare, false);
        finish(b);
        bare_t.push_back(micros(clock_type::now() - t0));

        t0 = clock_type::now();
        send(a.in, req);
        std::string reply = read_packet(a.out);
        agent_t.push_back(micros(clock_type::now() - t0));
        if (reply.find("#result=") == std::string::npos) {
            std::fprintf(stderr, "no result: %s\n", reply.c_str());
            return 1;
        }
    }
    finish(a);
    std::printf("bare_us %.1f\nagent_us %.1f\noverhead_us %.1f\n", median(bare_t), median(agent_t),
                median(agent_t) - median(bare_t));
    return 0;
}

} // namespace

int main(int argc, char** argv)
{
    if (argc < 4) {
        std::fprintf(stderr, "usage: %s session|requests|check AGENT N ...\n", argv[0]);
        return 2;
    }
    std::string mode = argv[1], agent = argv[2];
    int n = std::atoi(argv[3]);
    if (mode == "session")
        return cmd_session(agent, n);
    if (mode == "requests")
        return cmd_requests(agent, n);
    if (mode == "check" && argc >= 7) {
        std::string para = "#";
        int i = 5;
        for (; i < argc && std::strcmp(argv[i], "--") != 0; ++i)
            para += std::string(argv[i]) + "#";
        std::vector<std::string> bare(argv + std::min(i + 1, argc), argv + argc);
        return cmd_check(agent, n, argv[4], para, bare);
    }
    std::fprintf(stderr, "bad arguments\n");
    return 2;
}
