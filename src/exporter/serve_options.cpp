// Reading the exporter's command line.
#include "exporter/serve_options.h"

#include <cstdio>
#include <cstdlib>

#include "console/options/options.h"

namespace dorv {

namespace {

// The console's options that every probe's run takes as given.
const char* const passed_on[] = {"--ssh-option", "--remote-command", "--reuse", "--timeout", "-t"};

bool set_own(serve_options& o, const std::string& name, const std::string& v, std::string& error)
{
    if (name == "--hosts")
        o.hosts_file = v;
    else if (name == "--modules")
        o.modules_file = v;
    else if (name == "--listen") {
        if (!split_listen(v, o.listen_address, o.listen_port))
            return fail(error, "--listen takes ADDR:PORT (127.0.0.1:9089, [::1]:9089), not \"" + v + "\"");
    } else {
        char* end = nullptr;
        long n = std::strtol(v.c_str(), &end, 10);
        if (v.empty() || *end != '\0' || n < 1 || n > 1000)
            return fail(error, "--max-probes takes a number from 1 to 1000, not \"" + v + "\"");
        o.max_probes = static_cast<int>(n);
    }
    return true;
}

// The serve options and the console options passed on, from words.
bool read_words(serve_options& o, const std::vector<std::string>& words, std::string& error)
{
    for (std::size_t i = 0; i < words.size(); ++i) {
        std::string name = words[i], value;
        bool inline_value = false;
        if (auto eq = name.find('='); name.rfind("--", 0) == 0 && eq != std::string::npos) {
            value = name.substr(eq + 1);
            name.erase(eq);
            inline_value = true;
        }
        bool pass = false;
        for (const char* p : passed_on)
            pass = pass || name == p;
        bool own = name == "--hosts" || name == "--modules" || name == "--listen" || name == "--max-probes";
        if (!pass && !own)
            return fail(error, "serve takes --hosts, --listen, --modules, --max-probes, --ssh-option, "
                               "--remote-command, --reuse and -t, not \"" +
                                   words[i] + "\"");
        if (!inline_value && i + 1 >= words.size())
            return fail(error, name + " needs a value");
        if (!inline_value)
            value = words[++i];
        if (own && !set_own(o, name, value, error))
            return false;
        if (pass)
            o.console_words.insert(o.console_words.end(), {name, value});
    }
    return true;
}

} // namespace

bool split_listen(const std::string& text, std::string& address, int& port)
{
    std::size_t colon = text.rfind(':');
    if (colon == std::string::npos || colon == 0)
        return false;
    std::string host = text.substr(0, colon), digits = text.substr(colon + 1);
    if (host.front() == '[') {
        if (host.size() < 3 || host.back() != ']')
            return false;
        host = host.substr(1, host.size() - 2);
    }
    char* end = nullptr;
    long n = std::strtol(digits.c_str(), &end, 10);
    if (digits.empty() || *end != '\0' || n < 0 || n > 65535)
        return false;
    address = host;
    port = static_cast<int>(n);
    return true;
}

std::optional<serve_options> parse_serve_options(const std::vector<std::string>& args, std::string& error)
{
    if (args.size() < 2 || args[0] != "--console")
        return fail(error, "dorv-exporter is started by dorv-console serve"), std::nullopt;
    serve_options o;
    o.console = args[1];
    std::vector<std::string> line(args.begin() + 2, args.end());
    std::optional<console_options> c = parse_options(line, error);
    if (!c)
        return std::nullopt;
    if (c->commands.size() != 1 || c->commands[0].verb != "serve")
        return fail(error, "no serve command"), std::nullopt;
    // The options before "serve" (-t, say) count as its own.
    const std::vector<std::string>& after = c->commands[0].args;
    std::vector<std::string> words(line.begin(), line.end() - static_cast<std::ptrdiff_t>(after.size()) - 1);
    words.insert(words.end(), after.begin(), after.end());
    if (!read_words(o, words, error))
        return std::nullopt;
    if (o.hosts_file.empty())
        return fail(error, "serve needs --hosts FILE: the hosts it may probe"), std::nullopt;
    // The console's own checks of what is passed on.
    std::vector<std::string> check = {"--ssh", "host"};
    check.insert(check.end(), o.console_words.begin(), o.console_words.end());
    check.push_back("list");
    std::optional<console_options> passed = parse_options(check, error);
    if (!passed)
        return std::nullopt;
    o.timeout = passed->timeout;
    return o;
}

std::vector<std::string> probe_command(const serve_options& o, const host_entry& host,
                                       const probe_module& module, double seconds)
{
    char timeout[32];
    std::snprintf(timeout, sizeof timeout, "%.3f", seconds);
    std::vector<std::string> argv = {o.console};
    argv.insert(argv.end(), o.console_words.begin(), o.console_words.end());
    argv.insert(argv.end(), {"--ssh", host.destination, "--format", "prometheus", "-t", timeout});
    for (std::size_t i = 0; i < module.commands.size(); ++i) {
        if (i > 0)
            argv.push_back("+");
        argv.insert(argv.end(), module.commands[i].begin(), module.commands[i].end());
    }
    return argv;
}

} // namespace dorv
