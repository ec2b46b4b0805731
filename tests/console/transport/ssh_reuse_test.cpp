// Connection reuse: the control socket's name and place, the options that leave
// multiplexing to the user, and what of ssh's talk about it is set aside.
#include <sys/stat.h>

#include <gtest/gtest.h>

#include "console/transport/ssh_reuse.h"
#include "console/transport/transport.h"
#include "support/temp_dir.h"

using namespace dorv;

TEST(SshReuse, SocketNameDependsOnEveryArgumentBeforeTheCommand)
{
    const std::vector<std::string> base = {"ssh", "-i", "key1", "--", "db1"};
    const std::string name = control_socket_name(base);
    EXPECT_EQ(name.size(), 16u);
    EXPECT_EQ(name.find_first_not_of("0123456789abcdef"), std::string::npos);
    EXPECT_EQ(control_socket_name(base), name);
    EXPECT_NE(control_socket_name({"ssh", "-i", "key2", "--", "db1"}), name);
    EXPECT_NE(control_socket_name({"ssh", "-i", "key1", "--", "db2"}), name);
    EXPECT_NE(control_socket_name({"ssh", "-ikey1", "--", "db1"}), name);
}

TEST(SshReuse, OptionsThatMultiplexAlreadyAreLeftToTheUser)
{
    struct row {
        std::vector<std::string> options;
        bool multiplexes;
    };
    const std::vector<row> rows = {
        {{}, false},
        {{"-oBatchMode=yes", "-p", "2222", "-i", "/k/-S"}, false},
        {{"-lSam"}, false},
        {{"-S", "/tmp/s"}, true},
        {{"-vM"}, true},
        {{"-oControlPath=none"}, true},
        {{"-o", "controlmaster no"}, true},
        {{"-oControlPersist=1"}, true},
    };
    for (const auto& r : rows)
        EXPECT_EQ(user_multiplexes(r.options), r.multiplexes) << ::testing::PrintToString(r.options);
}

TEST(SshReuse, OnlyAPrivateDirectoryOfShortPathHoldsSockets)
{
    const dorv_test::temp_dir home;
    const std::string run = home.path("run/dorv-console"), cache = home.path("cache/dorv-console/ssh");
    std::string why;
    EXPECT_EQ(control_directory({run, cache}, why), run) << why;
    struct stat st;
    ASSERT_EQ(::stat(run.c_str(), &st), 0);
    EXPECT_EQ(st.st_mode & 0777, 0700u);

    // Open to others: refused, and the next candidate is taken.
    ::chmod(run.c_str(), 0755);
    EXPECT_EQ(control_directory({run, cache}, why), cache);
    EXPECT_EQ(control_directory({run}, why), std::nullopt);
    EXPECT_NE(why.find(" (mode 755, not 700)"), std::string::npos) << why;
    EXPECT_EQ(control_directory({run, home.dir() + "/" + std::string(80, 'h')}, why), std::nullopt);
    EXPECT_NE(why.find("too long"), std::string::npos) << why;
    EXPECT_EQ(control_directory({home.path("50%")}, why), std::nullopt);

    ::setenv("XDG_RUNTIME_DIR", "/run/user/7", 1);
    ::setenv("XDG_CACHE_HOME", "/c", 1);
    auto candidates = control_candidates();
    ASSERT_GE(candidates.size(), 2u);
    EXPECT_EQ(candidates[0], "/run/user/7/dorv-console");
    EXPECT_EQ(candidates[1], "/c/dorv-console/ssh");
}

// A new master gets keepalives, after the user's own options (ssh takes an option's first
// value, so the user's win), and before the destination.
TEST(SshReuse, MasterGetsKeepalivesThatTheUsersOptionsOverride)
{
    const dorv_test::temp_dir run;
    ::setenv("XDG_RUNTIME_DIR", run.dir().c_str(), 1);
    std::string note;
    transport_setup setup;
    setup.ssh = "db1";
    setup.ssh_options = {"-oServerAliveInterval=60"};
    setup.remote_command = "dorv";
    setup.reuse_seconds = 300;
    setup.deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    const transport how = pick_transport(setup, note);
    const std::string path =
        run.dir() + "/dorv-console/" + control_socket_name({"ssh", "-oServerAliveInterval=60", "--", "db1"});
    EXPECT_EQ(how.argv, (std::vector<std::string>{"ssh", "-oControlMaster=auto", "-oControlPath=" + path,
                                                  "-oControlPersist=300", "-oServerAliveInterval=60",
                                                  "-oServerAliveInterval=10", "-oServerAliveCountMax=3", "--",
                                                  "db1", "dorv"}));
}

TEST(SshReuse, WhatSshSaysAboutMultiplexingIsSetAside)
{
    for (const char* line :
         {"mux_client_request_session: session request failed: Session open refused by peer",
          "ControlSocket /run/user/1/dorv-console/0123 already exists, disabling multiplexing",
          "Control socket connect(/run/x): Connection refused",
          "Unsupported multiplexing protocol version 5 (expected 4)"})
        EXPECT_TRUE(ssh_mux_noise(line)) << line;
    EXPECT_FALSE(ssh_mux_noise("ssh: connect to host db1 port 22: Connection refused"));
    EXPECT_FALSE(ssh_mux_noise("bash: line 1: dorv: command not found"));
}
