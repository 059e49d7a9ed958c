// The Windows firewall backend as logic: version classes, netsh command lines and the
// hidden runs, over a scripted version query and process starter.
#include "control/CNetshFirewall.h"
#include "control/CProcessRunner.h"
#include "control/CWindowsVersion.h"
#include "control/RunHidden.h"

#include <gtest/gtest.h>

namespace {

class CScriptedVersion : public CVersionQuery
{
public:
    bool extendedWorks = true;
    bool basicWorks = true;
    OsVersion version;
    std::vector<uint32_t> asked;

    bool Query(uint32_t size, OsVersion& out) override
    {
        asked.push_back(size);
        out = version;
        return size == kExtendedSize ? extendedWorks : basicWorks;
    }
};

// Records each run as the command line the Windows runner would start (its words joined
// by blanks) and answers with the scripted exit codes, then 0.
class CRecordingStarter : public CProcessRunner
{
public:
    std::vector<std::string> lines;
    std::vector<int> results;

    int Run(const std::vector<std::string>& argv, std::string* /*output*/) override
    {
        std::string line;
        for (const auto& word : argv) {
            line += (line.empty() ? "" : " ") + word;
        }
        lines.push_back(line);
        return lines.size() <= results.size() ? results[lines.size() - 1] : 0;
    }
};

TEST(WindowsVersion, ClassTable)
{
    struct Case
    {
        OsVersion version;
        uint32_t versionClass;
    };
    const Case cases[] = {
        {{0, 3, 11, 0}, 1},          {{1, 4, 0, 0x04000000}, 2},  {{1, 4, 3, 0x04030000}, 2},
        {{1, 4, 10, 0x040A0000}, 4}, {{1, 4, 10, 0x040A08AE}, 8}, {{1, 4, 90, 0x045A0000}, 16},
        {{1, 4, 50, 0x04320000}, 0}, {{2, 4, 0, 1381}, 32},       {{2, 5, 0, 2195}, 64},
        {{2, 5, 1, 2600}, 128},      {{2, 5, 2, 3790}, 512},      {{2, 6, 0, 6002}, 256},
        {{2, 6, 1, 7601}, 0x8000},   {{2, 10, 0, 19045}, 0x8000},
    };
    for (const auto& entry : cases) {
        EXPECT_EQ(CWindowsVersion::Classify(entry.version), entry.versionClass)
            << entry.version.platformId << " " << entry.version.major << "." << entry.version.minor;
    }
}

TEST(WindowsVersion, BasicStructureWhenTheExtendedOneFailsAndZeroIsAskedAgain)
{
    CScriptedVersion query;
    query.version = {2, 5, 1, 2600};
    query.extendedWorks = false;
    CWindowsVersion version(query);
    EXPECT_EQ(version.WindowsVersionClass(), 128u);
    EXPECT_EQ(version.WindowsVersionClass(), 128u);
    EXPECT_EQ(query.asked, (std::vector<uint32_t>{156, 148}));

    CScriptedVersion failing;
    failing.extendedWorks = failing.basicWorks = false;
    CWindowsVersion unknown(failing);
    EXPECT_EQ(unknown.WindowsVersionClass(), 0u);
    EXPECT_EQ(unknown.WindowsVersionClass(), 0u);
    EXPECT_EQ(failing.asked.size(), 4u);
}

struct Netsh
{
    CScriptedVersion query;
    CWindowsVersion version{query};
    CRecordingStarter starter;
    CNetshFirewall firewall{version, starter};

    explicit Netsh(OsVersion os) { query.version = os; }
};

const std::string kPath = "\"C:\\Program Files\\Quillon\\Ternwick.exe\"";

TEST(NetshFirewall, XpRunsOneFirewallCommand)
{
    Netsh xp({2, 5, 1, 2600});
    EXPECT_EQ(xp.firewall.AddFirewallRule(kPath), 0);
    EXPECT_EQ(xp.firewall.RemoveFirewallRule(kPath), 0);
    EXPECT_EQ(xp.starter.lines,
              (std::vector<std::string>{"netsh firewall add allowedprogram program = " + kPath + " name = \"Ternwick\"",
                                        "netsh firewall delete allowedprogram program = " + kPath}));
}

TEST(NetshFirewall, VistaAndSevenRunTcpThenUdpAdvfirewallRules)
{
    const std::string rule = "netsh advfirewall firewall add rule name=\"Ternwick\" dir=in action=allow program=";
    for (const OsVersion os : {OsVersion{2, 6, 0, 6002}, OsVersion{2, 6, 1, 7601}}) {
        Netsh netsh(os);
        EXPECT_EQ(netsh.firewall.AddFirewallRule("C:\\Ternwick.exe"), 0);
        EXPECT_EQ(netsh.firewall.RemoveFirewallRule("C:\\Ternwick.exe"), 0);
        EXPECT_EQ(netsh.starter.lines,
                  (std::vector<std::string>{rule + "\"C:\\Ternwick.exe\" protocol=tcp",
                                            rule + "\"C:\\Ternwick.exe\" protocol=udp",
                                            "netsh advfirewall firewall delete rule name=\"Ternwick\""}));
    }
    Netsh failing({2, 6, 1, 7601});
    failing.starter.results = {1};
    EXPECT_EQ(failing.firewall.AddFirewallRule(kPath), 1);
    EXPECT_EQ(failing.starter.lines.size(), 1u);
}

TEST(NetshFirewall, RunHiddenLimitAndExitCodes)
{
    CRecordingStarter starter;
    const std::string longest(kMaxCommandLine - 1, 'x');
    EXPECT_EQ(RunHidden(longest, starter), 0);
    EXPECT_EQ(RunHidden(longest + "x", starter), 1);
    EXPECT_EQ(starter.lines, std::vector<std::string>{longest});

    starter.results = {0, 3, -1};
    starter.lines.clear();
    EXPECT_EQ(RunHidden("netsh a", starter), 0);
    EXPECT_EQ(RunHidden("netsh b", starter), 1);
    EXPECT_EQ(RunHidden("netsh c", starter), 1);

    Netsh deep({2, 6, 1, 7601});
    EXPECT_EQ(deep.firewall.AddFirewallRule("\"C:\\" + std::string(200, 'd') + "\\Ternwick.exe\""), 1);
    EXPECT_TRUE(deep.starter.lines.empty());
}

} // namespace
