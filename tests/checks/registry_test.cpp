// The check table and the request handlers, with their replies taken as packets.
#include "checks/registry.h"

#include <gtest/gtest.h>
#include <unistd.h>

#include "protocol/channel.h"
#include "protocol/packet.h"
#include "protocol/session_id.h"
#include "support/capture.h"
#include "support/check_list.h"
#include "support/fake_command.h"
#include "support/fixture.h"

using namespace dorv;
using namespace dorv_test;

namespace {

using pairs_t = std::vector<std::pair<std::string, std::string>>;

param_array request(const pairs_t& pairs)
{
    param_array p;
    for (const auto& [k, v] : pairs)
        array_add(p, k, 0, v);
    return p;
}

// The packet send_cmd writes for the reply, read back from a pipe.
std::string sent_packet(const std::string& cmd, const param_array& reply)
{
    int fds[2];
    if (::pipe(fds) != 0)
        throw std::runtime_error("pipe");
    stderr_capture trace;
    int n = send_cmd(cmd, reply, fds[1]);
    ::close(fds[1]);
    std::string got;
    char buf[4096];
    ssize_t r;
    while ((r = ::read(fds[0], buf, sizeof buf)) > 0)
        got.append(buf, static_cast<std::size_t>(r));
    ::close(fds[0]);
    EXPECT_EQ(static_cast<std::size_t>(n), got.size());
    return got;
}

class Handlers : public ::testing::Test {
  protected:
    static void SetUpTestSuite() { generate_session_id(); }
    param_array reply;
};

const char* const cpu_params = "\"#paramname1=Load Limit [%]#paramtype1=longinteger#maxlength1=200#\"";

TEST_F(Handlers, ListchecksGivesEveryCheckWhateverTheRequest)
{
    const std::string expected = listchecks_pairs();
    EXPECT_EQ(rpc_listchecks("listchecks", request({}), reply), 2 * listchecks_pair_count());
    EXPECT_EQ(dorv_pack(reply), expected);
    param_array other;
    rpc_listchecks("listchecks", request({{"checkid", "RAM"}, {"x", "y"}}), other);
    EXPECT_EQ(dorv_pack(other), expected);
}

TEST_F(Handlers, DefinecheckAndGetcomboDescribeTheCheck)
{
    EXPECT_EQ(rpc_definecheck("definecheck", request({{"checkid", "CPU"}, {"ignored", "x"}}), reply), 4);
    EXPECT_EQ(dorv_pack(reply), std::string("#checkid=CPU#parameters=") + cpu_params + "#");
    param_array combo;
    rpc_getcombo("getcomboparamvalues", request({{"checkid", "CPU"}}), combo);
    EXPECT_EQ(combo.texts, reply.texts);
}

// Asked for, the mount points' file system types follow the DiskSpace list, one for each
// value; a check without mount points, and a request that does not ask, get the reply as
// it always was.
TEST_F(Handlers, FilesystemTypesFollowTheMountPointsWhenAsked)
{
    param_array cpu, disk, plain;
    rpc_definecheck("definecheck", request({{"checkid", "CPU"}, {"filesystems", "1"}}), cpu);
    EXPECT_EQ(dorv_pack(cpu), std::string("#checkid=CPU#parameters=") + cpu_params + "#");
    rpc_getcombo("getcomboparamvalues", request({{"checkid", "DiskSpace"}}), plain);
    EXPECT_EQ(plain.pairs(), 2);
    rpc_getcombo("getcomboparamvalues", request({{"checkid", "DiskSpace"}, {"filesystems", "1"}}), disk);
    ASSERT_EQ(disk.pairs(), 3);
    EXPECT_EQ(disk.value(1), plain.value(1));
    EXPECT_EQ(disk.key(2), "filesystems");
    param_array listed, types;
    unpack_packet(disk.value(1).substr(1, disk.value(1).size() - 2), listed);
    unpack_packet(disk.value(2).substr(1, disk.value(2).size() - 2), types);
    int values = 0;
    for (int i = 0; i < listed.pairs(); ++i)
        values += key_number(listed.key(i), "value") > 0;
    EXPECT_EQ(types.pairs(), values);
    EXPECT_EQ(types.key(0), "fstype1");
}

TEST_F(Handlers, UnknownCheckIsNotFound)
{
    for (const char* name : {"cpu", "CPU ", "", "Disk"}) {
        param_array define, combo, run;
        rpc_definecheck("definecheck", request({{"checkid", name}}), define);
        rpc_getcombo("getcomboparamvalues", request({{"checkid", name}}), combo);
        rpc_runcheck("runcheck", request({{"checkid", name}, {"para", "#Load Limit [%]=80#"}}), run);
        for (const param_array* r : {&define, &combo, &run})
            EXPECT_EQ(dorv_pack(*r), "#errormessage=Check not found#") << '"' << name << '"';
    }
}

TEST_F(Handlers, MalformedRequestsEndTheAgentWithTheirStatus)
{
    struct {
        int (*call)(const param_array&, param_array&);
        pairs_t pairs;
        int status;
    } cases[] = {
        {[](const param_array& p, param_array& r) { return rpc_definecheck("definecheck", p, r); },
         {{"name", "CPU"}},
         3},
        {[](const param_array& p, param_array& r) { return rpc_definecheck("definecheck", p, r); }, {}, 3},
        {[](const param_array& p, param_array& r) { return rpc_definecheck("definecheck", p, r); },
         {{"x", "1"}, {"checkid", "CPU"}},
         3},
        {[](const param_array& p, param_array& r) { return rpc_getcombo("getcomboparamvalues", p, r); },
         {{"name", "CPU"}},
         6},
        {[](const param_array& p, param_array& r) { return rpc_getcombo("getcomboparamvalues", p, r); },
         {},
         6},
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {{"para", "#Load Limit [%]=80#"}, {"checkid", "CPU"}},
         4},
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {},
         4},
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {{"checkid", "CPU"}, {"param", "#Load Limit [%]=80#"}},
         5},
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {{"checkid", "CPU"}},
         5},
        // The parameters are decoded before the check is looked up.
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {{"checkid", "nosuch"}, {"para", "Load Limit [%]=80#"}},
         8},
        {[](const param_array& p, param_array& r) {
             rpc_runcheck("runcheck", p, r);
             return 0;
         },
         {{"checkid", "CPU"}, {"para", ""}},
         8},
    };
    for (const auto& c : cases) {
        param_array r;
        EXPECT_EQ(exit_status_of([&] { c.call(request(c.pairs), r); }), c.status);
        EXPECT_TRUE(r.empty());
    }
}

class Runcheck : public Handlers {
  protected:
    std::string run(const std::string& check, const std::string& para)
    {
        param_array r;
        rpc_runcheck("runcheck", request({{"checkid", check}, {"para", para}, {"extra", "x"}}), r);
        return dorv_pack(r);
    }
    fake_commands fake{first_on_path};
    stderr_capture trace;
};

TEST_F(Runcheck, UpAndDownResults)
{
    fake.printing("vmstat", fixture("vmstat/freebsd-example.txt"));
    EXPECT_EQ(run("CPU", "#Load Limit [%]=80#"), "#checkid=CPU#result=up#resultstring=CPU load is 15#");
    EXPECT_EQ(run("CPU", "#Load Limit [%]=10#"),
              "#checkid=CPU#result=down#resultstring=CPU load 15 out of Limit 10#");
    // An incomplete parameter text still hands its stored pairs to the runner.
    EXPECT_EQ(run("CPU", "#Load Limit [%]=80#Other"), "#checkid=CPU#result=up#resultstring=CPU load is 15#");
}

TEST_F(Runcheck, AnyNonZeroCountIsUp)
{
    fake.printing("ps", "USER COMMAND\nroot /usr/sbin/sshd\nroot sshd: dorv [priv]\nroot sshd: dorv@notty\n");
    EXPECT_EQ(run("Processes", "#Select Process=sshd#"),
              "#checkid=Processes#result=up#resultstring=Process sshd is running#");
    EXPECT_EQ(run("Processes", "#Select Process=cron#"),
              "#checkid=Processes#result=down#resultstring=Process cron is not running#");
}

TEST_F(Runcheck, RunnerThatDidNotRunGivesNoResult)
{
    fake.printing("ps", "USER COMMAND\nroot /usr/sbin/sshd\n");
    EXPECT_EQ(run("Processes", "#select process=sshd#"), "#errormessage=No result#");
    EXPECT_EQ(run("Processes", "#"), "#errormessage=No result#");
    EXPECT_EQ(run("CPU", "#Load Limit [%] =80#"), "#errormessage=No result#");
    EXPECT_EQ(run("DiskSpace", "#Disks=/#Disk Free Limit [%]=10#"), "#errormessage=No result#");
}

TEST_F(Runcheck, ResultEchoingAVeryLongNameIsCutToFitTheReply)
{
    fake.printing("ps", "USER COMMAND\nroot /usr/sbin/sshd\n");
    // The request itself stays within a packet; the reply would not.
    std::string name(16300, 'n');
    param_array r;
    rpc_runcheck("runcheck", request({{"checkid", "Processes"}, {"para", "#Select Process=" + name + "#"}}),
                 r);
    ASSERT_EQ(r.pairs(), 3);
    EXPECT_EQ(r.value(1), "down");
    const std::string& text = r.value(2);
    EXPECT_LT(text.size(), ("Process " + name).size());
    EXPECT_TRUE(text == ("Process " + name).substr(0, text.size()));
    std::string packet = sent_packet("runcheck", r);
    EXPECT_EQ(packet.size(), max_text); // cut exactly where the packet is full
    param_array back;
    EXPECT_EQ(dorv_unpack(packet, back), 12);
    EXPECT_TRUE(back.value(5) == text);
}

// A ps of 3000 long lines, some with '"' and '#' in them, answered through check_params'
// own budget and written by send_cmd.
class LongProcessList : public Handlers {
  protected:
    void SetUp() override
    {
        std::string text = "USER     COMMAND\n";
        for (int i = 0; i < 3000; ++i) {
            std::string kept = "worker" + std::to_string(i) + " --queue=" + std::string(60, 'q');
            if (i % 3 == 1)
                kept += " --json {\"id\": " + std::to_string(i) + "}";
            if (i % 5 == 2)
                kept += " #tag";
            text += "root     /usr/local/libexec/" + kept + "\n";
            std::size_t cut = kept.find_first_of("\"#");
            values.push_back(kept.substr(0, cut));
        }
        fake.printing("ps", text);
    }
    fake_commands fake{first_on_path};
    std::vector<std::string> values;
};

TEST_F(LongProcessList, ReplyIsAWellFormedPacketWithinTheLimit)
{
    for (const char* cmd : {"definecheck", "getcomboparamvalues"}) {
        param_array r;
        {
            stderr_capture trace;
            check_params(cmd, "Processes", r);
        }
        std::string packet = sent_packet(cmd, r);
        ASSERT_LE(packet.size(), max_text) << cmd;

        param_array outer;
        ASSERT_EQ(dorv_unpack(packet, outer), 10) << cmd;
        EXPECT_EQ(outer.key(3), "checkid");
        EXPECT_EQ(outer.key(4), "parameters");
        param_array inner;
        ASSERT_GT(dorv_unpack(outer.value(4), inner), 0) << cmd;
        EXPECT_EQ(inner.key(2), "valuecount");
        int n = std::stoi(inner.value(2));
        EXPECT_GT(n, 100);
        ASSERT_EQ(inner.pairs(), n + 5) << cmd;
        for (int k = 0; k < n; ++k) {
            ASSERT_EQ(inner.key(3 + k), "value" + std::to_string(k + 1));
            ASSERT_EQ(inner.value(3 + k), values[static_cast<std::size_t>(k)]);
        }
        EXPECT_EQ(inner.key(3 + n), "atbutton_paramcount");
        EXPECT_EQ(inner.key(4 + n), "atbutton_param1");
        EXPECT_EQ(inner.value(4 + n), "Select Process");
        // The next value would not have fitted.
        std::size_t next = std::string("value=#").size() + std::to_string(n + 1).size() +
                           values[static_cast<std::size_t>(n)].size();
        EXPECT_GT(packet.size() + next, max_text) << cmd;
    }
}

} // namespace
