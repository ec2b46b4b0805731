// Discovery: the facts gathered from a fake agent, and each format's writer against
// values a hostile host could offer.
#include <gtest/gtest.h>

#include <algorithm>

#include "console/discover/discover.h"
#include "console/output/config_safety.h"
#include "console/output/format.h"
#include "protocol/descriptors.h"
#include "protocol/packet.h"

using namespace dorv;

namespace {

// An agent offering DiskSpace and Processes over the given lists, a configured check
// with a list (Lines), one with a number that has no usual value (Cert) and one whose
// number names its usual value (Days).
class fake_agent : public agent_session {
  public:
    std::vector<std::string> mounts, processes;
    std::vector<std::string> types; // the mounts' file system types; none: not told

    bool request(const std::string& action, const param_array& own, param_array& reply, std::string&) override
    {
        array_free(reply);
        if (action == "listchecks") {
            for (int n = 1; const char* name : {"DiskSpace", "Processes", "Lines", "Cert", "Days"}) {
                array_add(reply, "checkid", n, name);
                array_add(reply, "available", n++, "true");
            }
            return true;
        }
        const std::string& check = own.value(0);
        param_array list;
        if (check == "DiskSpace") {
            param_number(list, "Disk Free Limit [%]", 1, "3");
            param_combo(list, "Disks", 2, mounts);
        } else if (check == "Processes") {
            param_combo(list, "Process", 1, processes);
        } else if (check == "Lines") {
            param_combo(list, "Line", 1, {"b line", "a"});
        } else {
            param_number(list, "Days warning", 1, "18", check == "Days" ? "30" : "");
        }
        array_add(reply, "checkid", 0, check);
        array_add(reply, "parameters", 0, dorv_pack(list));
        if (check == "DiskSpace" && !types.empty()) {
            param_array nested;
            for (int n = 1; const auto& t : types)
                array_add(nested, "fstype", n++, t);
            array_add(reply, "filesystems", 0, dorv_pack(nested));
        }
        return true;
    }
};

std::vector<std::string> names(const host_facts& f)
{
    std::vector<std::string> out;
    for (const auto& s : f.services)
        out.push_back(s.name);
    for (const auto& n : f.notes)
        out.push_back("left out " + n.item);
    return out;
}

TEST(Discover, GathersServicesWithUsualValuesAndLeavesOutSystemMounts)
{
    fake_agent agent;
    agent.mounts = {"/var", "/", "/run/user/0", "/dev/shm"};
    agent.processes = {"cron -f", "sshd: /usr/sbin/sshd -D [listener]"};
    std::string error;
    auto facts = gather_facts(agent, "db1", false, error);
    ASSERT_TRUE(facts) << error;
    EXPECT_EQ(names(*facts),
              (std::vector<std::string>{"Days", "DiskSpace /", "DiskSpace /var", "Lines a", "Lines b line",
                                        "Processes sshd", "left out Cert", "left out DiskSpace /dev/shm",
                                        "left out DiskSpace /run/user/0"}));
    EXPECT_EQ(facts->services[0].values, (std::vector<std::string>{"30"}));
    EXPECT_EQ(facts->services[2].values, (std::vector<std::string>{"10", "/var"}));
    EXPECT_EQ(facts->notes[0].why, "no usual value for \"Days warning\"");

    // Every mount with --all-mounts; the agent's order does not change the output.
    std::reverse(agent.mounts.begin(), agent.mounts.end());
    auto all = gather_facts(agent, "db1", true, error);
    ASSERT_TRUE(all);
    EXPECT_EQ(all->services.size(), facts->services.size() + 2);
    auto again = gather_facts(agent, "db1", false, error);
    for (const char* format : {"nagios", "icinga2", "json"})
        EXPECT_EQ(configuration_text(format, *facts), configuration_text(format, *again)) << format;
}

// Where the agent tells the file system types they decide, wherever the mount lies;
// where it does not, the place does.
TEST(Discover, SystemFileSystemsByTypeElseByPlace)
{
    fake_agent agent;
    agent.mounts = {"/", "/srv/scratch", "/run/data", "/usr", "/dev/shm"};
    agent.types = {"ext4", "tmpfs", "xfs", "overlay", ""};
    std::string error;
    auto facts = gather_facts(agent, "db1", false, error);
    ASSERT_TRUE(facts) << error;
    std::vector<std::string> disks;
    for (const auto& n : names(*facts))
        if (n.find("DiskSpace") != std::string::npos)
            disks.push_back(n);
    EXPECT_EQ(disks,
              (std::vector<std::string>{"DiskSpace /", "DiskSpace /run/data", "left out DiskSpace /dev/shm",
                                        "left out DiskSpace /srv/scratch", "left out DiskSpace /usr"}));
}

struct hostile_case {
    std::string value;
    std::string icinga; // the literal Icinga 2 carries it as; "" when left out there too
};

// Nagios carries none of these; Icinga 2 escapes what an escape can carry.
const hostile_case hostile[] = {
    {"/mnt/it's", "\"/mnt/it's\""},
    {"/mnt/a\"b", "\"/mnt/a\\\"b\""},
    {"/mnt/a;b", "\"/mnt/a;b\""},
    {"/mnt/$(touch /tmp/owned)", "\"/mnt/$$(touch /tmp/owned)\""},
    {"/mnt/a\\b", "\"/mnt/a\\\\b\""},
    {"/mnt/a b", "\"/mnt/a b\""},
    {"/mnt/a`id`", "\"/mnt/a`id`\""},
    {"/mnt/bang!", ""},
    {"/mnt/line\nend", ""},
    {"/mnt/tab\tend", ""},
    {"/mnt/\xc3\xa9t\xc3\xa9", ""},
    {"a=b", ""},
    {"--service=x", ""},
};

TEST(Discover, LeavesOutWhatEachFormatCannotCarry)
{
    for (const auto& c : hostile) {
        host_facts facts{"db1", {{"DiskSpace", "DiskSpace " + c.value, {"10", c.value}, c.value}}, {}};
        const std::string comment = "left out: DiskSpace " + shown(c.value) + " (host db1)";
        std::string nagios = write_nagios_configuration(facts);
        EXPECT_EQ(nagios.find("define service"), std::string::npos) << c.value;
        EXPECT_NE(nagios.find("# " + comment), std::string::npos) << nagios;

        std::string icinga = write_icinga2_configuration(facts);
        if (c.icinga.empty()) {
            EXPECT_EQ(icinga.find(c.value), std::string::npos) << c.value;
            EXPECT_NE(icinga.find("// " + comment), std::string::npos) << icinga;
        } else {
            EXPECT_NE(icinga.find("values = [ \"10\", " + c.icinga + " ]"), std::string::npos) << icinga;
        }
    }
}

TEST(Discover, WritesPlainValuesAndRefusesAnUnsafeHostName)
{
    host_facts facts{"db1", {{"DiskSpace", "DiskSpace /var", {"10", "/var"}, "/var"}}, {}};
    EXPECT_NE(
        write_nagios_configuration(facts).find("check_command           check_dorv!DiskSpace 10 /var\n"),
        std::string::npos);
    EXPECT_NE(write_icinga2_configuration(facts).find("template Host \"dorv-db1\""), std::string::npos);
    facts.host = "db1;$(id)";
    EXPECT_EQ(write_nagios_configuration(facts).find("define"), std::string::npos);
    EXPECT_NE(write_icinga2_configuration(facts).find("template Host \"dorv-db1;$$(id)\""),
              std::string::npos);
}

} // namespace
