// dorv-exporter: the Prometheus exporter behind "dorv-console serve". It reads the host
// file and the modules once, listens, and answers each probe by running dorv-console for
// the target in prometheus format.
#include <signal.h>
#include <unistd.h>

#include <cstdio>
#include <fstream>
#include <sstream>
#include <string>
#include <vector>

#include "base/child.h"
#include "exporter/exporter.h"
#include "exporter/http_server.h"
#include "exporter/serve_options.h"

namespace {

bool read_text(const std::string& path, std::string& text)
{
    std::ifstream in(path);
    std::ostringstream out;
    if (!in || !(out << in.rdbuf()))
        return false;
    text = out.str();
    return true;
}

int fail(const std::string& message)
{
    std::fprintf(stderr, "dorv-console: %s\n", message.c_str());
    return 3;
}

} // namespace

int main(int argc, char** argv)
{
    using namespace dorv;
    std::string error;
    std::optional<serve_options> o =
        parse_serve_options(std::vector<std::string>(argv + 1, argv + argc), error);
    if (!o)
        return fail(error + " (see --help)");
    std::string text;
    if (!read_text(o->hosts_file, text))
        return fail("cannot read the host file " + o->hosts_file);
    std::vector<host_entry> hosts = parse_host_list(text, error);
    if (!error.empty())
        return fail(o->hosts_file + ": " + error);
    text.clear();
    if (!o->modules_file.empty() && !read_text(o->modules_file, text))
        return fail("cannot read the modules file " + o->modules_file);
    std::vector<probe_module> modules = parse_modules(text, error);
    if (!error.empty())
        return fail(o->modules_file + ": " + error);

    // A probe's console and its ssh end with the exporter. The server's threads do not take
    // the signals that end it: the main thread does, while no child is being started there.
    end_children_on_signals();
    ::signal(SIGPIPE, SIG_IGN);
    sigset_t ending, old;
    sigemptyset(&ending);
    for (int sig : {SIGTERM, SIGINT, SIGHUP})
        sigaddset(&ending, sig);
    ::pthread_sigmask(SIG_BLOCK, &ending, &old);
    exporter answers(*o, std::move(hosts), std::move(modules));
    http_server server;
    bool started = server.start(
        o->listen_address, o->listen_port, static_cast<unsigned>(o->max_probes) + 16,
        [&answers](const http_request& r) { return answers.handle(r); }, error);
    ::pthread_sigmask(SIG_SETMASK, &old, nullptr);
    if (!started)
        return fail(error);
    std::fprintf(stderr, "dorv-console: serving %s:%d\n", o->listen_address.c_str(), server.port());
    std::fflush(stderr);
    for (;;)
        ::pause();
}
