// The console's command line and the binding of run values to a check's parameters.
#include "console/options/options.h"
#include "console/replies/agent_replies.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

std::optional<console_options> parse(std::vector<std::string> args, std::string& error)
{
    return parse_options(args, error);
}

const std::vector<param_info> disk = {
    {"Disk Free Limit [%]", "longinteger", "100", {}, {}},
    {"Disks", "listcombo", "", {"/", "/usr"}, {}},
};

} // namespace

TEST(ParseOptions, CommandsJoinedByPlusShareOneSession)
{
    std::string error;
    auto o = parse({"--ssh", "mon@db1", "--ssh-option", "-p", "--ssh-option=2222", "--timeout", "2.5",
                    "--format=plugin", "run", "CPU", "80", "+", "describe", "Disks", "+", "list"},
                   error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(*o->ssh, "mon@db1");
    EXPECT_EQ(o->ssh_options, (std::vector<std::string>{"-p", "2222"}));
    EXPECT_DOUBLE_EQ(o->timeout, 2.5);
    EXPECT_EQ(o->format, "plugin");
    ASSERT_EQ(o->commands.size(), 3u);
    EXPECT_EQ(o->commands[0].verb, "run");
    EXPECT_EQ(o->commands[0].args, (std::vector<std::string>{"CPU", "80"}));
    EXPECT_EQ(o->commands[1].args, (std::vector<std::string>{"Disks"}));
    EXPECT_EQ(o->commands[2].verb, "list");
}

// After the first command, words that look like options are values: login shells show
// in ps as "-bash".
TEST(ParseOptions, WordsAfterTheCommandAreNeverOptions)
{
    std::string error;
    auto o = parse({"run", "Processes", "-bash", "--timeout"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(o->commands[0].args, (std::vector<std::string>{"Processes", "-bash", "--timeout"}));
    EXPECT_DOUBLE_EQ(o->timeout, 30);
}

// Limits stand after each check name, or before the command of a single run; the other
// words after the check name stay values.
TEST(ParseOptions, LimitsAndServiceBelongToTheirCheck)
{
    std::string error;
    auto o = parse(
        {"-t", "5",         "--format",  "passive", "--host", "db1",       "run",          "CPU",        "-w",
         "80", "-c",        "90",        "+",       "run",    "DiskSpace", "--warning=20", "--critical", "10",
         "/",  "--service", "Disk root", "+",       "run",    "Processes", "-bash"},
        error);
    ASSERT_TRUE(o) << error;
    EXPECT_DOUBLE_EQ(o->timeout, 5);
    EXPECT_EQ(*o->host, "db1");
    ASSERT_EQ(o->commands.size(), 3u);
    const auto& cpu = o->commands[0];
    EXPECT_EQ(cpu.args, (std::vector<std::string>{"CPU"}));
    EXPECT_EQ(*cpu.warning, "80");
    EXPECT_EQ(*cpu.critical, "90");
    const auto& disk = o->commands[1];
    EXPECT_EQ(disk.args, (std::vector<std::string>{"DiskSpace", "/"}));
    EXPECT_EQ(*disk.warning, "20");
    EXPECT_EQ(*disk.critical, "10");
    EXPECT_EQ(*disk.service, "Disk root");
    EXPECT_EQ(o->commands[2].args, (std::vector<std::string>{"Processes", "-bash"}));
    EXPECT_FALSE(o->commands[2].warning);

    o = parse({"-w", "80", "-c", "90", "--format", "plugin", "run", "CPU"}, error);
    ASSERT_TRUE(o) << error;
    EXPECT_EQ(*o->commands[0].warning, "80");
    EXPECT_EQ(*o->commands[0].critical, "90");
    o = parse({"-V", "run"}, error);
    ASSERT_TRUE(o && o->version) << error;
}

TEST(ParseOptions, BadCommandLinesSayWhatIsWrong)
{
    struct row {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<row> rows = {
        {{}, "no command"},
        {{"--timeout", "0", "list"}, "--timeout"},
        {{"--timeout", "soon", "list"}, "--timeout"},
        {{"--timeout"}, "needs a value"},
        {{"--format", "xml", "list"}, "--format"},
        {{"--format", "nagios", "list"}, "is for discover"},
        {{"--format", "nagios", "discover"}, "discover needs --host"},
        {{"--host", "a", "discover"}, "discover needs --format json, nagios or icinga2"},
        {{"--format", "json", "--host", "a", "discover", "+", "list"}, "a command of its own"},
        {{"--all-mounts", "list"}, "--all-mounts is for discover"},
        {{"--hosts", "f", "--format", "json", "list"}, "--hosts gives passive results"},
        {{"--bogus", "list"}, "unknown option"},
        {{"--agent", "/x", "--ssh", "h", "list"}, "--remote-command"},
        {{"--remote-command", "dorv2", "list"}, "need --ssh"},
        {{"--ssh", "-oProxyCommand=x", "list"}, "destination"},
        {{"stats"}, "unknown command"},
        {{"run"}, "check name"},
        {{"describe", "CPU", "RAM"}, "one check"},
        {{"list", "+"}, "empty command"},
        {{"list", "CPU"}, "no arguments"},
        {{"-w", "80", "run", "CPU", "+", "run", "RAM"}, "single run"},
        {{"-c", "90", "list"}, "single run"},
        {{"-c", "90", "run", "CPU", "-c", "80"}, "both before and after"},
        {{"run", "CPU", "-w", "8O"}, "whole number"},
        {{"run", "CPU", "-w", "80", "--warning", "70"}, "given twice"},
        {{"run", "CPU", "-c"}, "needs a value"},
        {{"--format", "passive", "run", "CPU"}, "--host"},
        {{"--format", "passive", "--host", "a;b", "run", "CPU"}, "--host"},
        {{"--service", "x", "run", "CPU"}, "after the check name"},
        {{"-t", "-1", "list"}, "-t"},
        {{"--reuse", "60", "list"}, "need --ssh"},
        {{"--ssh", "h", "--reuse", "-1", "list"}, "--reuse"},
        {{"--ssh", "h", "--reuse", "1m", "list"}, "--reuse"},
    };
    for (const auto& r : rows) {
        std::string error;
        EXPECT_FALSE(parse(r.args, error)) << r.says;
        EXPECT_NE(error.find(r.says), std::string::npos) << error;
    }
}

TEST(BindValues, PositionalAndNamedValuesGoToTheirParameters)
{
    struct row {
        std::vector<std::string> args;
        std::string limit, disks;
    };
    const std::vector<row> rows = {
        {{"10", "/usr"}, "10", "/usr"},
        {{"Disks=/usr", "10"}, "10", "/usr"},
        {{"disks=/", "disk free limit [%]=7"}, "7", "/"},
        {{"limit=5", "Disks=/a=b"}, "5", "/a=b"}, // a part of a name; a value may hold '='
        {{"free=5", "/"}, "5", "/"},
    };
    for (const auto& r : rows) {
        std::string error;
        auto args = bind_values("DiskSpace", disk, r.args, error);
        ASSERT_TRUE(args) << error;
        ASSERT_EQ(args->pairs(), 2);
        EXPECT_EQ(args->key(0), "Disk Free Limit [%]");
        EXPECT_EQ(args->value(0), r.limit);
        EXPECT_EQ(args->key(1), "Disks");
        EXPECT_EQ(args->value(1), r.disks);
    }
}

TEST(BindValues, BadValuesNameTheProblem)
{
    struct row {
        std::vector<std::string> args;
        std::string says;
    };
    const std::vector<row> rows = {
        {{"Size=10", "/"}, "has no parameter \"Size\""},
        {{"d=10", "/"}, "ambiguous"},
        {{"10"}, "no value for \"Disks\""},
        {{"10", "/", "/usr"}, "takes 2 values"},
        {{"ten", "/"}, "whole number"},
        {{"10", "/a#b"}, "may not contain"},
        {{"10", "disks=/", "Disks=/usr"}, "given twice"},
        {{std::string(101, '9'), "/"}, "longer than 100"},
    };
    for (const auto& r : rows) {
        std::string error;
        EXPECT_FALSE(bind_values("DiskSpace", disk, r.args, error)) << r.says;
        EXPECT_NE(error.find(r.says), std::string::npos) << error;
    }
}

TEST(ParseDescriptors, ListComboValuesBelongToTheCombo)
{
    auto params =
        parse_descriptors("#paramname1=Disk Free Limit [%]#paramtype1=longinteger#maxlength1=100"
                          "#paramname2=Disks#paramtype2=listcombo#valuecount=2#value1=/#value2=/usr#"
                          "atbutton_paramcount=1#atbutton_param1=Disks#");
    ASSERT_EQ(params.size(), 2u);
    EXPECT_EQ(params[0].maxlength, "100");
    EXPECT_TRUE(params[0].values.empty());
    EXPECT_EQ(params[1].type, "listcombo");
    EXPECT_EQ(params[1].values, (std::vector<std::string>{"/", "/usr"}));
    EXPECT_EQ(default_value("DiskSpace", params[1]), "/");

    // A configured check's number takes the usual value the agent names; a built-in check
    // keeps the catalog's, and a named value that is no limit is none.
    struct {
        std::string check, usual;
        std::optional<std::string> taken;
    } rows[] = {{"Certificate", "30", "30"},
                {"Certificate", "", std::nullopt},
                {"Certificate", "3 days", std::nullopt},
                {"CPU", "50", "90"}};
    for (const auto& r : rows) {
        param_info number{"Days", std::string(number_field_type), "19", {}, r.usual};
        EXPECT_EQ(default_value(r.check, number), r.taken) << r.check << " " << r.usual;
    }
}
