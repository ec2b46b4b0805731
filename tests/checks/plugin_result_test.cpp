// A plugin's output and exit status as a runcheck reply.
#include "checks/plugin_result.h"

#include <gtest/gtest.h>

#include "protocol/plugin_reply.h"
#include "protocol/reply_budget.h"
#include "protocol/session_id.h"
#include "support/fixture.h"

using namespace dorv;
using dorv_test::fixture;

namespace {

std::string value_of(const param_array& reply, const std::string& key)
{
    for (int i = 0; i < reply.pairs(); ++i)
        if (reply.key(i) == key)
            return unescape_plugin_text(reply.value(i));
    return "(none)";
}

plugin_run exited(int code, std::string output)
{
    plugin_run r;
    r.outcome = plugin_run::exited;
    r.code = code;
    r.output = std::move(output);
    return r;
}

} // namespace

TEST(PluginResult, SplitsRealOutputIntoTextPerfdataAndLongOutput)
{
    plugin_parts disk = split_plugin_output(fixture("check_disk/ok-one-mount.txt"));
    EXPECT_EQ(disk.text.substr(0, 23), "DISK OK - free space: /");
    EXPECT_EQ(disk.text.back(), ';');
    EXPECT_EQ(disk.perfdata.substr(0, 3), "/=1");
    EXPECT_EQ(disk.long_output, "");

    plugin_parts load = split_plugin_output(fixture("check_load/perfdata-three.txt"));
    EXPECT_EQ(load.text, "LOAD WARNING - total load average: 5.72, 5.56, 3.42");
    EXPECT_EQ(load.perfdata,
              "load1=5.720;1.000;100.000;0; load5=5.560;1.000;100.000;0; load15=3.420;1.000;100.000;0;");

    plugin_parts apt = split_plugin_output(fixture("check_apt/list-long-output.txt"));
    EXPECT_EQ(apt.perfdata, "available_upgrades=124;;;0 critical_updates=85;;;0");
    EXPECT_EQ(apt.long_output.substr(0, 30), "apt (security)\napt-transport-h");
    EXPECT_EQ(apt.long_output.back(), ')');
}

TEST(PluginResult, LaterLinesCarryPerfdataAfterTheirBar)
{
    plugin_parts t =
        split_plugin_output("DISK OK - free space: / 3326 MB (56%); | /=2643MB;5948;5958;0;5968\n"
                            "/ 15272 MB (77%);\n"
                            "/boot 68 MB (69%);\n"
                            "/home 69357 MB (27%);\n"
                            "/var/log 819 MB (84%); | /boot=68MB;88;93;0;98\n"
                            "/home=69357MB;253404;253409;0;253414 \n"
                            "/var/log=818MB;970;975;0;980\n");
    EXPECT_EQ(t.text, "DISK OK - free space: / 3326 MB (56%);");
    EXPECT_EQ(t.perfdata,
              "/=2643MB;5948;5958;0;5968 /boot=68MB;88;93;0;98 /home=69357MB;253404;253409;0;253414 "
              "/var/log=818MB;970;975;0;980");
    EXPECT_EQ(t.long_output,
              "/ 15272 MB (77%);\n/boot 68 MB (69%);\n/home 69357 MB (27%);\n/var/log 819 MB (84%);");
    EXPECT_EQ(split_plugin_output("").text, "");
    EXPECT_EQ(split_plugin_output("only text").perfdata, "");
    EXPECT_EQ(split_plugin_output("a\n\nb\n\n\n").long_output, "\nb");
}

TEST(PluginResult, OversizedOutputIsCutToOnePacketWithoutSplittingEscapesItemsOrLines)
{
    generate_session_id();
    std::string out = std::string(3000, '#') + " text|";
    for (int i = 0; i < 2000; ++i)
        out += " label" + std::to_string(i) + "=" + std::to_string(i) + "#;1;2";
    out += "\n";
    for (int i = 0; i < 3000; ++i)
        out += "long \"line\" " + std::to_string(i) + "\n";
    param_array reply;
    plugin_reply("runcheck", "C", exited(0, out), reply);
    EXPECT_LE(reply_length("runcheck", reply), max_text);
    EXPECT_GE(reply_length("runcheck", reply), max_text - 80);
    plugin_parts whole = split_plugin_output(out);
    EXPECT_EQ(value_of(reply, "resultstring"), whole.text);
    std::string perf = value_of(reply, "perfdata");
    EXPECT_EQ(whole.perfdata.compare(0, perf.size(), perf), 0);
    EXPECT_EQ(whole.perfdata[perf.size()], ' '); // whole items only
    std::string long_output = value_of(reply, "longoutput");
    EXPECT_EQ(whole.long_output.compare(0, long_output.size(), long_output), 0);
    EXPECT_EQ(whole.long_output[long_output.size()], '\n'); // whole lines only
}
