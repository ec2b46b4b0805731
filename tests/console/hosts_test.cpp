// A many-hosts run: its host file, its summary, its result lines read back for the API,
// and the command lines it takes.
#include <gtest/gtest.h>

#include "console/host_list.h"
#include "console/many_hosts.h"
#include "console/options.h"
#include "console/submit.h"

using namespace dorv;

TEST(HostList, DestinationsAndNamesOneALine)
{
    std::string error;
    auto hosts =
        parse_host_list("# web servers\n\n  dorv@web1  \nweb2 www # the shop\nssh://db:2222 db1\n", error);
    EXPECT_EQ(error, "");
    ASSERT_EQ(hosts.size(), 3u);
    EXPECT_EQ(hosts[0].destination, "dorv@web1");
    EXPECT_EQ(hosts[0].name, "web1");
    EXPECT_EQ(hosts[1].name, "www");
    EXPECT_EQ(hosts[2].destination, "ssh://db:2222");
    EXPECT_EQ(hosts[2].name, "db1");

    for (const auto& [text, says] :
         std::vector<std::pair<std::string, std::string>>{{"web1\nweb2 a b\n", "line 2"},
                                                          {"-oProxyCommand=x\n", "'-'"},
                                                          {"web1 a;b\n", "';'"},
                                                          {"# none\n", "no host"}}) {
        EXPECT_TRUE(parse_host_list(text, error).empty()) << text;
        EXPECT_NE(error.find(says), std::string::npos) << error;
    }
}

TEST(HostList, SummaryCountsAndNamesFailuresAndTheSlowest)
{
    std::vector<host_report> reports = {
        {"web1", 0, 0.5, ""}, {"web2", 2, 1.25, ""}, {"db1", 3, 4.0, ""}, {"db2", -1, 40.0, ""}};
    EXPECT_EQ(hosts_summary(reports, 41.0),
              "4 hosts: 2 answered, 2 failed (db1, db2), slowest db2 40.0 s; 41.0 s in all");
    EXPECT_EQ(hosts_summary({{"web1", 0, 0.25, ""}}, 0.3),
              "1 host: 1 answered, 0 failed, slowest web1 0.2 s; 0.3 s in all");
}

TEST(HostList, PassiveLinesReadBackAsResults)
{
    auto r = parse_passive_line("[1733580000] PROCESS_SERVICE_CHECK_RESULT;db1;DiskSpace /;1;DiskSpace "
                                "WARNING - a;b|'/'=83%;80;90;0;100");
    ASSERT_TRUE(r);
    EXPECT_EQ(r->host, "db1");
    EXPECT_EQ(r->service, "DiskSpace /");
    EXPECT_EQ(r->exit_status, 1);
    EXPECT_EQ(r->output, "DiskSpace WARNING - a;b");
    EXPECT_EQ(r->perfdata, std::vector<std::string>{"'/'=83%;80;90;0;100"});
    r = parse_passive_line("[1] PROCESS_SERVICE_CHECK_RESULT;db1;sshd;2;Processes CRITICAL - gone");
    ASSERT_TRUE(r);
    EXPECT_TRUE(r->perfdata.empty());
    EXPECT_FALSE(parse_passive_line("[1] PROCESS_SERVICE_CHECK_RESULT;db1;sshd;7;x"));
    EXPECT_FALSE(parse_passive_line("dorv-console: something"));
}

TEST(HostList, CommandLines)
{
    std::string error;
    auto o = parse_options(
        {"--hosts", "/h", "-j", "50", "--ssh-option", "-oBatchMode=yes", "run", "CPU", "90"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->jobs, 50);
    EXPECT_EQ(o->format, "passive");
    for (const auto& args :
         std::vector<std::vector<std::string>>{{"--hosts", "/h", "--ssh", "x", "list"},
                                               {"--hosts", "/h", "--host", "x", "list"},
                                               {"--hosts", "/h", "--format", "json", "list"},
                                               {"--hosts", "/h", "-j", "0", "list"}})
        EXPECT_FALSE(parse_options(args, error)) << args[2];
}
