// Discover: listchecks, then definecheck for every check, and the configuration of them.
#include "console/discover/discover.h"

#include <algorithm>

#include "checks/catalog.h"
#include "console/output/config_safety.h"
#include "console/output/format.h"
#include "console/replies/agent_replies.h"
#include "console/results/run_result.h"
#include "console/session/run_request.h"
#include "protocol/descriptors.h"
#include "protocol/packet.h"

namespace dorv {

namespace {

// The processes a Processes service watches, the first that the host runs: the daemon
// that lets the console in, else the catalog's choice (the agent itself). A run counts a
// process whose command, from the program name on, begins with the value.
std::vector<std::string> watched_processes(const param_info& p)
{
    std::vector<std::string> wanted = {"sshd"};
    if (const check_profile* row = find_profile("Processes"); row && row->default_choice)
        wanted.push_back(row->default_choice);
    for (const auto& name : wanted)
        for (const auto& v : p.values)
            if (v.rfind(name, 0) == 0)
                return {name};
    return {};
}

bool under(const std::string& path, const std::string& dir)
{
    return path == dir || path.rfind(dir + "/", 0) == 0;
}

// The values of a check's list parameter that get a service each; types holds the file
// system type of each value, as far as the agent told them.
std::vector<std::string> list_items(const std::string& check, const param_info& p,
                                    const std::vector<std::string>& types, bool all_mounts,
                                    std::vector<left_out>& notes)
{
    if (check == "Processes")
        return watched_processes(p);
    std::vector<std::string> items;
    for (std::size_t k = 0; k < p.values.size(); ++k) {
        const std::string& v = p.values[k];
        const std::string type = k < types.size() ? types[k] : "";
        if (!(check == "DiskSpace" && !all_mounts && system_mount(v, type))) {
            items.push_back(v);
            continue;
        }
        std::string why = "a system file system";
        if (!type.empty())
            why.append(" (").append(shown(type)).append(")");
        why.append(" that holds no data of this host (--all-mounts keeps it)");
        notes.push_back({list_service(check, v), why});
    }
    return items;
}

// The file system types of a definecheck reply's "filesystems" pair, in list order.
std::vector<std::string> filesystem_types(const param_array& reply)
{
    std::vector<std::string> types;
    for (int i = 0; i < reply.pairs(); ++i) {
        param_array nested;
        if (reply.key(i) != filesystems_key ||
            unpack_packet(reply.value(i), nested).status != unpack_status::ok)
            continue;
        for (int k = 0; k < nested.pairs(); ++k)
            if (int n = key_number(nested.key(k), "fstype"); n > 0) {
                types.resize(std::max(types.size(), static_cast<std::size_t>(n)));
                types[static_cast<std::size_t>(n) - 1] = nested.value(k);
            }
    }
    return types;
}

// The services of one check, or a note saying why it has none.
void add_check(const std::string& check, const std::vector<param_info>& params,
               const std::vector<std::string>& types, bool all_mounts, host_facts& facts)
{
    std::vector<std::string> values;
    std::optional<std::size_t> list_at;
    for (std::size_t i = 0; i < params.size(); ++i) {
        if (params[i].is_list() && !list_at) {
            list_at = i;
            values.emplace_back();
            continue;
        }
        std::optional<std::string> v = default_value(check, params[i]);
        if (!v) {
            facts.notes.push_back({check, "no usual value for \"" + shown(params[i].name) + "\""});
            return;
        }
        values.push_back(*v);
    }
    if (!list_at) {
        facts.services.push_back({check, check, values, ""});
        return;
    }
    std::vector<std::string> items = list_items(check, params[*list_at], types, all_mounts, facts.notes);
    if (items.empty())
        facts.notes.push_back(
            {check, check == "Processes"
                        ? "the host runs neither sshd nor dorv; give the process to watch by hand"
                        : "its list \"" + shown(params[*list_at].name) + "\" offers no value"});
    for (const auto& item : items) {
        values[*list_at] = item;
        facts.services.push_back({check, list_service(check, item), values, item});
    }
}

} // namespace

bool system_mount(const std::string& mount_point, const std::string& type)
{
    if (!type.empty()) {
        for (const char* pseudo :
             {"tmpfs",       "devtmpfs", "overlay",    "squashfs",   "proc",         "sysfs",    "devpts",
              "cgroup",      "cgroup2",  "ramfs",      "securityfs", "debugfs",      "tracefs",  "pstore",
              "bpf",         "mqueue",   "hugetlbfs",  "autofs",     "fusectl",      "configfs", "efivarfs",
              "binfmt_misc", "nsfs",     "rpc_pipefs", "fuse.lxcfs", "fuse.snapfuse"})
            if (type == pseudo)
                return true;
        return false;
    }
    for (const char* dir : {"/proc", "/sys", "/dev", "/run", "/snap", "/var/lib/docker",
                            "/var/lib/containers", "/var/lib/snapd", "/var/lib/kubelet"})
        if (under(mount_point, dir))
            return true;
    return false;
}

std::optional<host_facts> gather_facts(agent_session& session, const std::string& host, bool all_mounts,
                                       std::string& error)
{
    host_facts facts{host, {}, {}};
    param_array reply;
    if (!session.request("listchecks", param_array{}, reply, error))
        return std::nullopt;
    for (const auto& c : parse_checklist(reply)) {
        if (!c.available) {
            facts.notes.push_back({c.name, "not available on this host"});
            continue;
        }
        param_array own;
        array_add(own, "checkid", 0, c.name);
        array_add(own, filesystems_key, 0, "1");
        param_array described;
        if (!session.request("definecheck", own, described, error))
            return std::nullopt;
        if (!described.empty() && described.key(0) == "errormessage") {
            facts.notes.push_back({c.name, "the agent did not describe it: " + shown(described.value(0))});
            continue;
        }
        std::vector<param_info> params;
        for (int i = 0; i < described.pairs(); ++i)
            if (described.key(i) == "parameters")
                params = parse_descriptors(described.value(i));
        add_check(c.name, params, filesystem_types(described), all_mounts, facts);
    }
    std::sort(facts.services.begin(), facts.services.end(),
              [](const auto& a, const auto& b) { return a.name < b.name; });
    std::sort(facts.notes.begin(), facts.notes.end(), [](const auto& a, const auto& b) {
        return a.item != b.item ? a.item < b.item : a.why < b.why;
    });
    return facts;
}

int discover_host(console_client& client, const discover_settings& s, std::FILE* out, std::FILE* err)
{
    std::string error;
    std::optional<host_facts> facts;
    if (client.open(error)) {
        facts = gather_facts(client, s.host, s.all_mounts, error);
        client.close();
    }
    if (!facts) {
        // Nothing is printed: half a host's configuration would drop its other services.
        std::fprintf(err, "dorv-console: discover %s: %s\n", s.host.c_str(), error.c_str());
        return exit_unknown;
    }
    const std::string text = configuration_text(s.format, *facts);
    std::fwrite(text.data(), 1, text.size(), out);
    return 0;
}

} // namespace dorv
