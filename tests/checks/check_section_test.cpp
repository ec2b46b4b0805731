// Reading check sections from the text of the configuration file and of drop-in files.
#include "checks/check_section.h"

#include <gtest/gtest.h>

using namespace dorv;

namespace {

// Reads the files (name, text, drop-in or not) in order.
check_reader read(const std::vector<std::tuple<std::string, std::string, bool>>& files)
{
    check_reader r;
    for (const auto& [name, text, dropin] : files) {
        r.begin_file(name, dropin);
        scan_config(text, [&](const config_line& l) {
            r.line(l);
            return true;
        });
        r.end_file();
    }
    return r;
}

std::string problems_of(const check_reader& r)
{
    std::string out;
    for (const auto& p : r.problems)
        out += p.file + ":" + std::to_string(p.line) + ": " + p.text + "\n";
    return out;
}

} // namespace

TEST(CheckSection, ReadsAWholeCheck)
{
    check_reader r = read({{"main",
                            "[agent]\nlog=/x\n[check:Certificate]\ndescription=TLS certificate of a site\n"
                            "command=/usr/lib/nagios/plugins/check_http -H {Site} -S --sni -C "
                            "{Days warning},{Days critical}\ntimeout=20\nnumber=Days warning: 30\n"
                            "number=Days critical\nlist=Site: www.example.org, api.example.org\n"
                            "[firewall]\ncommand=not a key of the check\n",
                            false}});
    EXPECT_EQ(problems_of(r), "");
    ASSERT_EQ(r.checks.size(), 1u);
    const configured_check& c = r.checks[0];
    EXPECT_EQ(c.name, "Certificate");
    EXPECT_EQ(c.description, "TLS certificate of a site");
    EXPECT_EQ(c.timeout, 20);
    ASSERT_EQ(c.params.size(), 3u);
    EXPECT_EQ(c.params[0].usual, "30");
    EXPECT_EQ(c.params[1].usual, "");
    EXPECT_EQ(c.params[2].kind, param_kind::list);
    EXPECT_EQ(c.params[2].values, (std::vector<std::string>{"www.example.org", "api.example.org"}));
    EXPECT_EQ(expand_command(c.command, {"30", "10", "api.example.org"}),
              (std::vector<std::string>{"/usr/lib/nagios/plugins/check_http", "-H", "api.example.org", "-S",
                                        "--sni", "-C", "30,10"}));
}

TEST(CheckSection, EveryProblemIsReportedAndKeepsTheCheckFromRunning)
{
    struct row {
        std::string text;
        std::string problem;
        bool dropin = false;
    };
    const row rows[] = {
        {"[check:A]\ndescription=x\n", "f:1: check \"A\" has no command= line"},
        {"[check:A]\ncommand=p -x\n", "f:2: command does not begin with an absolute path to a program"},
        {"[check:A]\ncommand=/usr/lib/ -x\n",
         "f:2: command does not begin with an absolute path to a program"},
        {"[check:A]\ncommand={P} -x\nnumber=P\n",
         "f:2: command does not begin with an absolute path to a program"},
        {"[check:A]\ncommand=/p 'x\n", "f:2: command: a single quote is not closed"},
        {"[check:A]\ncommand=/p {Limit}\n", "f:2: placeholder {Limit} names no parameter"},
        {"[check:A]\ncommand=/p\nnumber=Limit\n", "f:3: parameter \"Limit\" is used by no placeholder"},
        {"[check:A]\ncommand=/p {L} {M}\nlist=L: a\nlist-from=M: /bin/ls\n",
         "f:4: a check takes at most one list: \"M\" is a second after \"L\""},
        {"[check:A]\ncommand=/p\ncomand=/q\n", "f:3: key \"comand\" is not used in a check section"},
        {"[check:A]\ncommand=/p\ncommand=/q\n", "f:3: repeated key \"command\": the one on line 2 is used"},
        {"[check:A]\ncommand=/p\ntimeout=0\n", "f:3: timeout is not a number of seconds from 1 to 3600"},
        {"[check:A]\ncommand=/p\ntimeout=5s\n", "f:3: timeout is not a number of seconds from 1 to 3600"},
        {"[check:A]\ncommand=/p\ndescription=a#b\n",
         "f:3: description may be neither empty nor hold '#' or '\"'"},
        {"[check:A]\ncommand=/p {a=b}\nnumber=a=b\n",
         "f:3: parameter name \"a=b\" may not hold any of # \" = { } : , or a control character"},
        {"[check:A]\ncommand=/p {L}\nlist=L\n", "f:3: list= needs the parameter's name, ':' and its values"},
        {"[check:A]\ncommand=/p {L}\nlist=L: a,,b\n",
         "f:3: list \"L\" holds a value that is empty or holds '#' or '\"'"},
        {"[check:A]\ncommand=/p {L}\nlist-from=L: ls\n",
         "f:3: list-from command of \"L\" does not begin with an absolute path"},
        {"[check:A]\ncommand=/p {L}\nnumber=L: 3 days\n", "f:3: the usual value of \"L\" is not a number"},
        {"[check:A]\ncommand=/p {L}\nnumber=L\nnumber=L\n",
         "f:4: parameter \"L\" is declared already on line 3"},
        {"[check:A]\n command=/p\n", "f:2: blank before the key: the line matches no key"},
        {"[check:A]\ncommand=/p {" + std::string(101, 'n') + "}\nnumber=" + std::string(101, 'n') + "\n",
         "f:3: parameter name longer than 100 characters"},
        {"[check:A]\ncommand=/p\n" +
             [] {
                 std::string lines;
                 for (int i = 0; i < 21; ++i)
                     lines += "number=P" + std::to_string(i) + "\n";
                 return lines;
             }(),
         "f:23: a check takes at most 20 parameters"},
        {"[check:A]\ncommand =/p\n", "f:2: blanks around '=': the line matches no key"},
    };
    for (const auto& r : rows) {
        check_reader got = read({{"f", r.text, r.dropin}});
        EXPECT_NE(problems_of(got).find(r.problem + "\n"), std::string::npos) << r.text << "\n"
                                                                              << problems_of(got);
        ASSERT_EQ(got.checks.size(), 1u) << r.text;
        EXPECT_FALSE(got.checks[0].problems.empty()) << r.text;
    }
}

TEST(CheckSection, BadOrTakenNamesAndForeignSectionsInDropInsMakeNoCheck)
{
    check_reader r =
        read({{"main", "[check:Own]\ncommand=/p\n", false},
              {"d/a.ini",
               "[firewall]\nroot=10.0.0.1\n[agent]\nlog=/x\n[check:CPU]\ncommand=/p\n[check:a b]\n"
               "command=/p\n[check:Own]\ncommand=/q\n[check:]\ncommand=/p\n[other]\nx=1\n",
               true},
              {"d/b.ini", "x=1\n", true}});
    EXPECT_EQ(
        problems_of(r),
        "d/a.ini:1: section [firewall] in a drop-in file is ignored: only [check:...] sections count there\n"
        "d/a.ini:3: section [agent] in a drop-in file is ignored: only [check:...] sections count there\n"
        "d/a.ini:5: check name \"CPU\" is a built-in check's: the section is ignored\n"
        "d/a.ini:7: check name \"a b\" may hold only letters, digits, '_', '-' and '.', at most 100: the "
        "section is "
        "ignored\n"
        "d/a.ini:9: check \"Own\" is declared already on main:1: the section is ignored\n"
        "d/a.ini:11: check name \"\" may hold only letters, digits, '_', '-' and '.', at most 100: the "
        "section is "
        "ignored\n"
        "d/a.ini:13: section [other] is not used by the agent\n"
        "d/b.ini:1: entry before any section header is not used\n");
    ASSERT_EQ(r.checks.size(), 1u);
    EXPECT_EQ(expand_command(r.checks[0].command, {}), std::vector<std::string>{"/p"});
}

TEST(CheckSection, NumbersAreAnOptionalMinusAndAtMostEighteenDigits)
{
    for (const char* good : {"0", "-5", "007", "123456789012345678", "-123456789012345678"})
        EXPECT_TRUE(valid_number(good)) << good;
    for (const char* bad : {"", "-", "+5", "1234567890123456789", "5 ", " 5", "1e3", "0x10", "--5", "5;id"})
        EXPECT_FALSE(valid_number(bad)) << bad;
}
