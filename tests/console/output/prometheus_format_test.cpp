// --format prometheus: the results of a run as metrics. The built-in figures as ratios
// and absent when not measured, a configured check's performance data in base units with
// its plain-number limits, each check's state, and dorv_up 0 once the session was lost.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>

#include "console/output/format.h"
#include "console/output/perfdata.h"
#include "protocol/param_array.h"

using namespace dorv;

namespace {

run_outcome outcome(const std::string& check, check_state state, const std::string& text,
                    std::vector<std::pair<std::string, std::string>> args, const std::string& perf = "")
{
    run_outcome r;
    r.check = check;
    r.state = state;
    r.text = text;
    for (const auto& [k, v] : args)
        array_add(r.args, k, 0, v);
    r.perf = parse_perfdata(perf);
    return r;
}

// What the format prints for these runs and failures, with host as --host.
std::string metrics(const std::vector<run_outcome>& runs, const std::vector<command_error>& failures = {},
                    std::optional<std::string> host = std::nullopt)
{
    char* text = nullptr;
    std::size_t size = 0;
    std::FILE* out = ::open_memstream(&text, &size);
    std::FILE* err = std::fopen("/dev/null", "w");
    {
        auto output = make_output("prometheus", {out, err, host, nullptr});
        for (const auto& r : runs)
            output->result(r);
        for (const auto& f : failures)
            output->error(f);
        output->finish();
    }
    std::fclose(out);
    std::fclose(err);
    std::string s(text, size);
    std::free(text);
    return s;
}

} // namespace

TEST(PrometheusFormat, GivesEachFigureInBaseUnitsAndLeavesOutWhatWasNotMeasured)
{
    std::string m = metrics({
        outcome("CPU", check_state::up, "CPU load is 15", {{"Load Limit [%]", "90"}}),
        outcome("DiskSpace", check_state::warning, "Disk /var is 83% used",
                {{"Limit", "20"}, {"Disks", "/var"}}),
        outcome("RAM", check_state::unknown, "top: no memory line", {{"Free RAM Limit [%]", "10"}}),
        outcome("Swap", check_state::down, "0% of SWAP memory free", {{"Free Swap Limit [%]", "10"}}),
        outcome("Processes", check_state::down, "Process sshd is not running", {{"Select Process", "sshd"}}),
        outcome("Web", check_state::up, "HTTP OK", {{"URL", "/a\"b\\c"}},
                "time=12ms;100;200;0 size=2KB;;; 'free space'=25%;@10:20;5 reqs=7c;; gone=U"),
    });
    const char* present[] = {
        "dorv_up 1\n",
        "dorv_check_state{check=\"CPU\",item=\"\"} 0\n",
        "dorv_check_state{check=\"DiskSpace\",item=\"/var\"} 1\n",
        "dorv_check_state{check=\"RAM\",item=\"\"} 3\n",
        "dorv_check_state{check=\"Web\",item=\"/a\\\"b\\\\c\"} 0\n",
        "dorv_cpu_load_ratio 0.15\n",
        "dorv_filesystem_free_ratio{mountpoint=\"/var\"} 0.17\n",
        "dorv_swap_free_ratio 0\n",
        "dorv_process_running{name=\"sshd\"} 0\n",
        "dorv_plugin_value{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"time\"} 0.012\n",
        "dorv_plugin_warning{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"time\"} 0.1\n",
        "dorv_plugin_critical{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"time\"} 0.2\n",
        "dorv_plugin_value{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"size\"} 2048\n",
        "dorv_plugin_value{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"free space\"} 0.25\n",
        "dorv_plugin_critical{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"free space\"} 0.05\n",
        "# TYPE dorv_plugin_counter_total counter\n",
        "dorv_plugin_counter_total{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"reqs\"} 7\n",
    };
    for (const char* line : present)
        EXPECT_NE(m.find(line), std::string::npos) << line << "\nin:\n" << m;
    const char* absent[] = {"dorv_memory_free_ratio", "label=\"gone\"",
                            "dorv_plugin_warning{check=\"Web\",item=\"/a\\\"b\\\\c\",label=\"free space\"}"};
    for (const char* what : absent)
        EXPECT_EQ(m.find(what), std::string::npos) << what << "\nin:\n" << m;
}

TEST(PrometheusFormat, ALostSessionIsDorvUpZeroAndEachSeriesCarriesTheHost)
{
    command_error lost{"run", "DiskSpace", "ssh to db1 failed", "DiskSpace /data", true};
    command_error bad{"run", "CPU", "CPU has no parameter \"x\"", "CPU", false};
    const struct {
        std::vector<command_error> failures;
        const char* up;
    } cases[] = {
        {{bad}, "dorv_up{host=\"db1\"} 1\n"},
        {{bad, lost}, "dorv_up{host=\"db1\"} 0\n"},
    };
    for (const auto& c : cases) {
        std::string m = metrics({}, c.failures, "db1");
        EXPECT_NE(m.find(c.up), std::string::npos) << m;
        EXPECT_NE(m.find("dorv_check_state{host=\"db1\",check=\"CPU\",item=\"\"} 3\n"), std::string::npos)
            << m;
    }
    EXPECT_NE(metrics({}, {lost}, "db1")
                  .find("dorv_check_state{host=\"db1\",check=\"DiskSpace\",item=\"/data\"} 3\n"),
              std::string::npos);
}
