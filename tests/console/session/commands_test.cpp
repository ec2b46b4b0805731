// The console's commands against a fake agent session: the parameter cache's retry,
// run-all over checks known and unknown, and a session lost in the middle.
#include "console/session/commands.h"

#include <gtest/gtest.h>

#include "protocol/packet.h"
#include "support/temp_dir.h"

using namespace dorv;

namespace {

// Answers like an agent offering CPU (a limit), Fans (a list) and Mood (a limit with no
// usual value); fails every request from the lose_at-th on (counted from 1).
class fake_session : public agent_session {
  public:
    std::vector<std::string> asked; // "action checkid"
    std::size_t lose_at = 0;

    bool request(const std::string& action, const param_array& own, param_array& reply,
                 std::string& error) override
    {
        asked.push_back(action + (own.empty() ? "" : " " + own.value(0)));
        if (lose_at && asked.size() >= lose_at) {
            error = "the agent went away";
            return false;
        }
        array_free(reply);
        if (action == "listchecks")
            for (int n = 1; const char* name : {"CPU", "Fans", "Mood"}) {
                array_add(reply, "checkid", n, name);
                array_add(reply, "checkdescription", n, name);
                array_add(reply, "available", n++, "true");
            }
        else if (action == "definecheck")
            describe(own.value(0), reply);
        else
            run(own, reply);
        return true;
    }

  private:
    static void describe(const std::string& check, param_array& reply)
    {
        param_array list;
        if (check == "Fans")
            param_combo(list, "Fan", 1, {"fan1", "fan2"});
        else
            param_number(list, check == "CPU" ? "Load Limit [%]" : "Mood Limit", 1, "3");
        array_add(reply, "checkid", 0, check);
        // The quotes it travels in are gone once the reply is read.
        array_add(reply, "parameters", 0, dorv_pack(list));
    }

    static void run(const param_array& own, param_array& reply)
    {
        // The values travel quoted; here no packet decoder takes the quotes off.
        const std::string& para = own.value(1);
        param_array args;
        unpack_packet(std::string_view(para).substr(1, para.size() - 2), args);
        if (own.value(0) == "CPU" && (args.empty() || args.key(0) != "Load Limit [%]")) {
            array_add(reply, "errormessage", 0, "No result");
            return;
        }
        if (own.value(0) == "Plug") {
            plugin_answer(args.empty() ? "" : args.value(0), reply);
            return;
        }
        array_add(reply, "checkid", 0, own.value(0));
        array_add(reply, "result", 0, "up");
        array_add(reply, "resultstring", 0, own.value(0) + " is at " + (args.empty() ? "" : args.value(0)));
    }

    // A configured check: the plugin's exit status is the value; its texts travel escaped.
    static void plugin_answer(const std::string& code, param_array& reply)
    {
        if (code != "1") {
            array_add(reply, "errormessage", 0, "UNKNOWN: \\x23 gone");
            array_add(reply, "state", 0, "unknown");
            return;
        }
        for (const auto& [k, v] : {std::pair{"checkid", "Plug"},
                                   {"result", "up"},
                                   {"state", "warning"},
                                   {"resultstring", "a\\x23b\\\\x23"},
                                   {"perfdata", "'x \\x22y'=1ms;2 z=9"},
                                   {"longoutput", "l1\nl\\x002"}})
            array_add(reply, k, 0, v);
    }
};

// Writes down what the commands tell it.
class recorder : public console_output {
  public:
    std::vector<std::string> said;

    void list(const std::vector<check_info>& offered) override
    {
        add("list " + std::to_string(offered.size()));
    }
    void describe(const std::string& check, const std::vector<param_info>&) override
    {
        add("describe " + check);
    }
    void result(const run_outcome& r) override
    {
        std::string perf;
        for (const auto& p : r.perf) // the agent's own, not the console's figure
            if (!p.written.empty())
                perf += " [" + p.label + "|" + p.value + "|" + p.unit + "|" + p.warn + "]";
        add(r.check + " " + state_name(r.state) + ": " + r.text + perf +
            (r.long_output.empty() ? "" : " / ") + r.long_output);
    }
    void error(const command_error& e) override { add("error " + e.verb + " " + e.check + ": " + e.message); }
    void not_run(const command_error& e) override { add("not run " + e.check + ": " + e.message); }
    void skipped(const std::string& check, const std::string& why) override
    {
        add("skipped " + check + ": " + why);
    }
    void usage_error(const std::string& error) override { add("usage " + error); }
    void finish() override { add("finish"); }

  private:
    void add(std::string s) { said.push_back(std::move(s)); }
};

struct commands_test : ::testing::Test {
    dorv_test::temp_dir dir;
    param_cache cache{dir.path("parameters"), "agent"};
    fake_session session;
    recorder out;
    console_run commands{session, cache, out};
};

using strings = std::vector<std::string>;

TEST_F(commands_test, CachedParametersTheAgentRefusesAreAskedForAgain)
{
    const std::vector<param_info> old = {{"Old Limit", "longinteger", "3", {}, {}}};
    cache.store("CPU", &old);
    EXPECT_TRUE(commands.command({"run", {"CPU", "80"}, {}, {}, {}}));
    EXPECT_EQ(session.asked, (strings{"runcheck CPU", "definecheck CPU", "runcheck CPU"}));
    EXPECT_EQ(out.said, (strings{"CPU up: CPU is at 80"}));
    ASSERT_TRUE(cache.find("CPU"));
    EXPECT_EQ(cache.find("CPU")->at(0).name, "Load Limit [%]");
    // Known now: the next run asks nothing but the run.
    session.asked.clear();
    EXPECT_TRUE(commands.command({"run", {"CPU", "70"}, {}, {}, {}}));
    EXPECT_EQ(session.asked, (strings{"runcheck CPU"}));
}

TEST_F(commands_test, APluginsAnswerIsTurnedBackAndARefusalUnderTheAgentsOwnParametersRunsOnce)
{
    EXPECT_TRUE(commands.command({"run", {"Plug", "1"}, {}, {}, {}}));
    const std::vector<param_info> same = {{"Mood Limit", "longinteger", "3", {}, {}}};
    cache.store("Plug", &same);
    param_cache fresh_cache{dir.path("parameters"), "agent"};
    console_run fresh{session, fresh_cache, out};
    session.asked.clear();
    EXPECT_TRUE(fresh.command({"run", {"Plug", "3"}, {}, {}, {}}));
    EXPECT_EQ(session.asked, (strings{"runcheck Plug", "definecheck Plug"}));
    EXPECT_EQ(out.said,
              (strings{"Plug warning: a#b\\x23 [x \"y|1|ms|2] [z|9||] / l1\nl" + std::string(1, '\0') + "2",
                       "Plug unknown: UNKNOWN: # gone"}));
    EXPECT_EQ(fresh.states(), (std::vector<check_state>{check_state::unknown}));
}

TEST_F(commands_test, RunAllRunsWhatItHasValuesForAndSaysWhatItLeavesOut)
{
    EXPECT_TRUE(commands.command({"run-all", {}, {}, {}, {}}));
    EXPECT_EQ(out.said, (strings{"CPU up: CPU is at 90", "Fans up: Fans is at fan1",
                                 "skipped Mood: no usual value for \"Mood Limit\""}));
    EXPECT_EQ(commands.states(), (std::vector<check_state>{check_state::up, check_state::up}));
}

TEST_F(commands_test, ALostSessionEndsTheCommandsAndTellsTheRunsLeftOut)
{
    session.lose_at = 2; // the runcheck, after the definecheck
    console_command first{"run", {"Fans", "fan1"}, {}, {}, {}};
    EXPECT_FALSE(commands.command(first));
    commands.not_run({"run", {"CPU", "80"}, {}, {}, {}});
    commands.not_run({"list", {}, {}, {}, {}});
    commands.finish();
    EXPECT_EQ(out.said,
              (strings{"error run Fans: the agent went away", "not run CPU: the agent went away", "finish"}));
    EXPECT_EQ(commands.states(), (std::vector<check_state>{check_state::unknown, check_state::unknown}));
}

} // namespace
