// The exporter's command line: what the console hands over for "dorv-console [OPTION...]
// serve [SERVE-OPTION...]", with the console's own path in front. The serve options: the
// host file, the address to listen on, the modules file and the bound on probes at once;
// and, passed on to every probe's console run, --ssh-option, --remote-command, --reuse
// and -t (the longest a probe may take).
#pragma once

#include <optional>
#include <string>
#include <vector>

#include "console/fleet/host_list.h"
#include "exporter/modules.h"

namespace dorv {

// The port of the exporter unless --listen says otherwise: one that no exporter of
// Prometheus' list of default ports uses.
inline constexpr int default_port = 9089;

struct serve_options {
    std::string console;    // the dorv-console that runs each probe
    std::string hosts_file; // --hosts FILE
    std::string listen_address = "127.0.0.1";
    int listen_port = default_port;
    std::string modules_file;               // --modules FILE, "" for run-all alone
    int max_probes = 20;                    // --max-probes: probes at once; more wait, then 503
    double timeout = 30;                    // -t: a probe's longest time
    std::vector<std::string> console_words; // the options passed on to every probe's console
};

// The command line after the program's name: "--console PATH", then the console's
// arguments with the serve command. Nothing, with error set, when it is not valid.
std::optional<serve_options> parse_serve_options(const std::vector<std::string>& args, std::string& error);

// ADDR:PORT ("127.0.0.1:9089", "[::1]:9089", "0.0.0.0:9089") into its parts; false when
// it is not one.
bool split_listen(const std::string& text, std::string& address, int& port);

// The console's command line for one probe of host with module, bounded by seconds.
std::vector<std::string> probe_command(const serve_options& o, const host_entry& host,
                                       const probe_module& module, double seconds);

} // namespace dorv
