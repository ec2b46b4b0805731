// A many-hosts run: its host file, its summary, the results its hosts' processes pass
// back, the hosts without results, and the command lines it takes.
#include <gtest/gtest.h>

#include "base/child.h"
#include "console/fleet/host_list.h"
#include "console/fleet/host_run.h"
#include "console/fleet/many_hosts.h"
#include "console/fleet/result_relay.h"
#include "console/fleet/submit.h"
#include "console/options/options.h"
#include "console/output/perfdata.h"
#include "support/temp_dir.h"

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
    auto report = [](std::string name, int status, double seconds) {
        host_report r;
        r.name = std::move(name);
        r.status = status;
        r.seconds = seconds;
        return r;
    };
    std::vector<host_report> reports = {report("web1", 0, 0.5), report("web2", 2, 1.25),
                                        report("db1", 3, 4.0), report("db2", -1, 40.0)};
    EXPECT_EQ(hosts_summary(reports, 41.0),
              "4 hosts: 2 answered, 2 failed (db1, db2), slowest db2 40.0 s; 41.0 s in all");
    EXPECT_EQ(hosts_summary({report("web1", 0, 0.25)}, 0.3),
              "1 host: 1 answered, 0 failed, slowest web1 0.2 s; 0.3 s in all");
}

// A host's process passes its results to the run whole: the run prints and submits
// exactly what a console of its own would have, for output with line ends, backslashes,
// a '|', and two performance items.
TEST(HostList, ResultsOfAHostsProcessArriveWhole)
{
    run_outcome r;
    r.check = "Own";
    r.service = "Own \\ x";
    r.state = check_state::warning;
    r.text = "half \\n way | up";
    r.long_output = "line one\r\nC:\\temp\\\n'a'=1;2 end\\";
    r.perf = parse_perfdata("'a b'=1s;2;3 c=4%;;;0;100");
    const std::vector<passive_result> own = passive_results({r, r}, "db1");
    ASSERT_EQ(own[0].perfdata.size(), 2u);
    const std::string encoded = encode_host_results({"printed\n", own});
    std::optional<host_results> relayed = decode_host_results(encoded);
    ASSERT_TRUE(relayed);
    EXPECT_EQ(relayed->printed, "printed\n");
    ASSERT_EQ(relayed->results.size(), 2u);
    for (std::size_t i = 0; i < own.size(); ++i)
        EXPECT_EQ(check_result_body(relayed->results[i], "mon1", 300),
                  check_result_body(own[i], "mon1", 300));
    EXPECT_EQ(passive_lines(relayed->results, 7), passive_lines(own, 7));
    // Cut off anywhere, or with bytes after it, it is no host's results.
    for (std::size_t cut : {std::size_t{0}, std::size_t{10}, encoded.size() / 2, encoded.size() - 1})
        EXPECT_FALSE(decode_host_results(encoded.substr(0, cut))) << cut;
    EXPECT_FALSE(decode_host_results(encoded + "x"));
}

// Every host answers: one whose process cannot start, and one whose process ends without
// its results, get an UNKNOWN line for each service and count as failed.
TEST(HostList, HostsWithoutResultsGetUnknownLines)
{
    const dorv_test::temp_file file("ok\ngone\nmute\n");
    std::string error;
    auto o = parse_options({"--hosts", file.path(), "run", "CPU", "90", "+", "run", "RAM", "10"}, error);
    ASSERT_TRUE(o) << error;
    passive_result cpu{"ok", "CPU", 0, "CPU OK - CPU load is 5\nmore", {"'cpu_load'=5%;;90;0;100"}};
    const std::string encoded = encode_host_results({"", {cpu}});
    char *out_text = nullptr, *err_text = nullptr;
    std::size_t out_size = 0, err_size = 0;
    std::FILE* out = ::open_memstream(&out_text, &out_size);
    std::FILE* err = ::open_memstream(&err_text, &err_size);
    int status = run_host_list(
        *o,
        [&](const host_entry& h) -> std::vector<std::string> {
            if (h.name == "ok")
                return {"printf", "%s", encoded};
            return {h.name == "gone" ? "/nonexistent/dorv-console" : "true"};
        },
        nullptr, out, err);
    std::fclose(out);
    std::fclose(err);
    const std::string printed(out_text, out_size), said(err_text, err_size);
    std::free(out_text);
    std::free(err_text);
    EXPECT_EQ(status, 3);
    EXPECT_NE(printed.find("PROCESS_SERVICE_CHECK_RESULT;ok;CPU;0;CPU OK - CPU load is 5|'cpu_load'=5%;;90;0;"
                           "100\\nmore\n"),
              std::string::npos)
        << printed;
    for (const std::string host : {"gone", "mute"}) {
        EXPECT_NE(printed.find(";" + host + ";CPU;3;CPU UNKNOWN - no results: its process "),
                  std::string::npos)
            << printed;
        EXPECT_NE(printed.find(";" + host + ";RAM;3;RAM UNKNOWN - not run: no results: "), std::string::npos);
    }
    EXPECT_NE(said.find("dorv-console: gone: its process could not be started: cannot run /nonexistent/"),
              std::string::npos)
        << said;
    EXPECT_NE(said.find("3 hosts: 1 answered, 2 failed (gone, mute)"), std::string::npos) << said;
}

TEST(HostList, JobsFitTheFreeDescriptors)
{
    EXPECT_EQ(jobs_within(20, 1000), 20u);
    EXPECT_EQ(jobs_within(100, 30), 13u);
    EXPECT_EQ(jobs_within(5, 3), 1u);
    EXPECT_EQ(jobs_within(1000, 100000), static_cast<std::size_t>(max_running_children));
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
