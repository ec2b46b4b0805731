// Checking a configuration file.
#include "dorv/check_config.h"

#include <sys/stat.h>

#include <algorithm>
#include <map>
#include <vector>

#include "base/text_helpers.h"
#include "config/config.h"
#include "config/keys.h"
#include "dorv/firewall.h"
#include "probes/command.h"
#include "probes/processes.h"

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
        if (l.piece) {
            if (l.number != last_long_)
                add(l.number, "line longer than 16383 characters: the rest is read as further lines");
            last_long_ = l.number;
        }
        if (l.kind == config_line::header) {
            if (!is_config_section(l.section))
                add(l.number, "section [" + std::string(l.section) + "] is not used by the agent");
            return;
        }
        if (l.kind == config_line::entry)
            entry_line(l);
    }

  private:
    int last_long_ = 0;

    void add(int number, std::string text) { problems.push_back({number, std::move(text)}); }

    void entry_line(const config_line& l)
    {
        const std::string text(l.text);
        const std::string section(l.section);
        auto eq = text.find('=');
        if (eq == std::string::npos || eq == 0) {
            add(l.number, text[0] == '[' ? "not a section header: nothing may follow ']' and '[' needs a ']'"
                                         : "neither comment, section header nor key=value entry");
            return;
        }
        // Keys are matched whole: a blank before or in one leaves the entry unused.
        if (is_blank(text[0])) {
            add(l.number, "blank before the key: the line matches no key");
            return;
        }
        if (is_blank(text[eq - 1])) {
            add(l.number, "blanks around '=': the line matches no key");
            return;
        }
        std::string key = text.substr(0, eq);
        const config_key* known = find_config_key(section, key);
        // The firewall's values may have blanks around their items; the others are taken whole.
        if (known && known->kind != value_kind::address_ranges && eq + 1 < text.size() &&
            is_blank(text[eq + 1]))
            add(l.number, "blanks around '=': the value begins with them");
        std::string value = text.substr(eq + 1);
        if (section.empty()) {
            add(l.number, "entry before any section header is not used");
            return;
        }
        if (!is_config_section(section))
            return; // its section is reported at its header
        std::map<std::string, entry>& seen = entries[section];
        if (auto it = seen.find(key); it != seen.end()) {
            add(l.number, "repeated key \"" + key + "\": the one on line " + std::to_string(it->second.line) +
                              " is used");
            return;
        }
        seen[key] = {l.number, value};
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
    std::stable_sort(c.problems.begin(), c.problems.end(),
                     [](const problem& a, const problem& b) { return a.line < b.line; });
    for (const auto& p : c.problems)
        out += path + ":" + std::to_string(p.line) + ": " + p.text + "\n";
    std::map<std::string, entry>& firewall = c.entries["firewall"];
    for (const auto& login : c.firewall_order)
        out += "firewall: " + (login == "*" ? std::string("every other login") : "login " + login) + " " +
               admits(firewall[login].value) + "\n";
    if (!firewall.empty() && !firewall.count("*"))
        out += "firewall: every other login admits every client (no \"*\" entry)\n";
    if (firewall.empty())
        out += "firewall: no entry, every login admits every client\n";
    return c.problems.empty() ? 0 : 1;
}

} // namespace dorv
