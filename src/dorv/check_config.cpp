// Checking a configuration file.
#include "dorv/check_config.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <vector>

#include "base/text_helpers.h"
#include "checks/configured.h"
#include "config/config.h"
#include "config/keys.h"
#include "config/shape.h"
#include "dorv/firewall.h"
#include "probes/command.h"
#include "probes/processes.h"
#include "probes/safe_path.h"

namespace dorv {

namespace {

struct problem {
    int line;
    std::string text;
};

struct entry {
    int line;
    std::string value;
};

// Whether name is a user of this host, asked of getent so that every source of the
// password database counts (the static agent cannot load them all itself). Nothing when
// getent gives no answer.
std::optional<bool> is_user(const std::string& name)
{
    std::string quoted = "'";
    for (char c : name)
        quoted += c == '\'' ? std::string("'\\''") : std::string(1, c);
    quoted += "'";
    command_pipe getent("getent passwd -- " + quoted + " >/dev/null 2>&1; echo $?");
    std::string line;
    if (!getent.next(line))
        return std::nullopt;
    if (line == "0\n")
        return true;
    if (line == "2\n")
        return false;
    return std::nullopt;
}

class checker {
  public:
    std::vector<problem> problems;
    std::map<std::string, std::map<std::string, entry>> entries; // the first entry of each key, by section
    std::vector<std::string> firewall_order;

    void line(const config_line& l)
    {
        if (auto problem = shape_.long_line(l))
            add(l.number, *problem);
        if (is_check_section(l.section))
            return; // read by the check reader
        if (l.kind == config_line::header) {
            if (!is_config_section(l.section))
                add(l.number, unused_section_problem(l.section, false));
            return;
        }
        if (l.kind == config_line::entry)
            entry_line(l);
    }

  private:
    config_shape shape_;

    void add(int number, std::string text) { problems.push_back({number, std::move(text)}); }

    void entry_line(const config_line& l)
    {
        const std::string section(l.section);
        config_entry e = shape_.entry(l);
        if (e.problem) {
            add(l.number, *e.problem);
            return;
        }
        std::string key(e.key);
        const config_key* known = find_config_key(section, key);
        // The firewall's values may have blanks around their items; the others are taken whole.
        if (known && known->kind != value_kind::address_ranges && !e.value.empty() && is_blank(e.value[0]))
            add(l.number, "blanks around '=': the value begins with them");
        std::string value(e.value);
        if (!is_config_section(section))
            return; // its section is reported at its header
        if (auto problem = shape_.repeated(l, key)) {
            add(l.number, *problem);
            return;
        }
        entries[section][key] = {l.number, value};
        if (!known)
            add(l.number, "key \"" + key + "\" in [" + section + "] is not used by the agent");
        else
            value_entry(l.number, *known, key, value);
    }

    // Judges the value of a key by its kind, as the agent reads it.
    void value_entry(int number, const config_key& k, const std::string& key, const std::string& value)
    {
        switch (k.kind) {
        case value_kind::path:
            path_entry(number, key, value);
            break;
        case value_kind::seconds:
            if (!read_seconds(value))
                add(number, key + " is not a number of seconds");
            break;
        case value_kind::user_list:
            if (!parse_process_users(value).well_formed)
                add(number, key + " is neither \"*\" nor a comma-separated list of user names");
            break;
        case value_kind::address_ranges:
            firewall_entry(number, key, value);
            break;
        }
    }

    void path_entry(int number, const std::string& key, const std::string& value)
    {
        std::string dir = value.substr(0, value.rfind('/') == std::string::npos ? 0 : value.rfind('/'));
        struct stat st;
        if (value.empty())
            add(number, key + " path is empty");
        else if (value.find('/') != std::string::npos && !dir.empty() &&
                 (::stat(dir.c_str(), &st) != 0 || !S_ISDIR(st.st_mode)))
            add(number, key + " directory " + dir + " does not exist");
    }

    void firewall_entry(int number, const std::string& key, const std::string& value)
    {
        firewall_order.push_back(key);
        firewall_value v = parse_firewall(value);
        if (v.unreadable)
            add(number, "firewall value for \"" + key + "\" cannot be read at \"" + *v.unreadable +
                            "\": every client of it is rejected");
        if (key != "*" && is_user(key) == false)
            add(number, "firewall login \"" + key + "\" is no user of this host");
    }
};

// What a check section says, checked further than the agent's reading of it does: whether
// its programs may run here.
void check_programs(const configured_check& c, std::vector<config_problem>& problems)
{
    if (!c.problems.empty())
        return;
    if (auto unsafe = unsafe_path(c.command[0][0].text, path_use::program))
        problems.push_back(
            {c.file, c.command_entry_line, "check \"" + c.name + "\" does not run: " + *unsafe});
    for (const auto& p : c.params)
        if (p.kind == param_kind::list_from)
            if (auto unsafe = unsafe_path(p.command[0][0].text, path_use::program))
                problems.push_back({c.file, p.line, "list \"" + p.name + "\" is not gathered: " + *unsafe});
}

std::string check_summary(const configured_check& c, bool runs)
{
    if (!runs)
        return "check " + c.name + ": does not run (see above)\n";
    std::string text = "check " + c.name + ": runs " + c.command[0][0].text;
    for (std::size_t i = 0; i < c.params.size(); ++i) {
        const check_parameter& p = c.params[i];
        text += (i ? ", " : " with ") + p.name +
                (p.kind == param_kind::number ? " (a number)"
                 : p.kind == param_kind::list ? " (one of " + std::to_string(p.values.size()) +
                                                    (p.values.size() == 1 ? " value)" : " values)")
                                              : " (one of the lines of " + p.command[0][0].text + ")");
    }
    return text + "\n";
}

// Reports the problems of the check sections of path and its drop-in files after those of
// path itself (own), each file's in line order, and a line per check.
bool report_checks(const std::string& path, std::vector<config_problem> own, std::string& out,
                   std::string& summary)
{
    configured_checks all = load_configured_checks(path);
    std::vector<config_problem> problems = std::move(own);
    problems.insert(problems.end(), all.problems.begin(), all.problems.end());
    std::vector<std::string> files = dropin_files(dropin_dir(path));
    files.insert(files.begin(), path);
    for (const auto& c : all.checks) {
        std::size_t before = problems.size();
        check_programs(c, problems);
        summary += check_summary(c, c.problems.empty() && problems.size() == before);
    }
    auto rank = [&](const config_problem& p) {
        return std::make_pair(std::find(files.begin(), files.end(), p.file) - files.begin(), p.line);
    };
    std::stable_sort(problems.begin(), problems.end(),
                     [&](const config_problem& a, const config_problem& b) { return rank(a) < rank(b); });
    for (const auto& p : problems)
        out += p.file + (p.line ? ":" + std::to_string(p.line) : std::string()) + ": " + p.text + "\n";
    return problems.empty();
}

std::string admits(const std::string& value)
{
    firewall_value v = parse_firewall(value);
    if (v.unreadable)
        return "admits no client (its value cannot be read)";
    std::string text = "admits";
    for (std::size_t i = 0; i < v.items.size(); ++i)
        text += (i ? ", " : " ") + describe_item(v.items[i]);
    return text;
}

} // namespace

int check_config(const std::string& path, std::string& out)
{
    checker c;
    config_read r = read_config(path, [&](const config_line& l) {
        c.line(l);
        return true;
    });
    if (r.status != config_read::read) {
        out += path + ": cannot read: " + r.error + "\n";
        return 1;
    }
    std::vector<config_problem> own;
    for (const auto& p : c.problems)
        own.push_back({path, p.line, p.text});
    std::string checks;
    bool clean = report_checks(path, std::move(own), out, checks);
    std::map<std::string, entry>& firewall = c.entries["firewall"];
    for (const auto& login : c.firewall_order)
        out += "firewall: " + (login == "*" ? std::string("every other login") : "login " + login) + " " +
               admits(firewall[login].value) + "\n";
    if (!firewall.empty() && !firewall.count("*"))
        out += "firewall: every other login admits every client (no \"*\" entry)\n";
    if (firewall.empty())
        out += "firewall: no entry, every login admits every client\n";
    out += checks;
    return clean ? 0 : 1;
}

} // namespace dorv
