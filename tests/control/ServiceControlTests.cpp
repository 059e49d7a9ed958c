// The command steps in their order, with every text they show, over a recording service
// manager, firewall and store.
#include "control/CServiceControl.h"
#include "settings/CKeyStore.h"

#include <gtest/gtest.h>
#include <set>
#include <sstream>

namespace {

// Answers from a script: the state for every query, error numbers by step, and the steps
// that fail; records every call.
class CFakeManager : public CServiceManager
{
public:
    uint32_t state = 1;
    uint32_t createError = 0;
    uint32_t startError = 0;
    std::set<std::string> failing;
    std::string calls;

    bool Open() override { return Note("open"); }
    uint32_t CreateService(const std::string& name, const std::string& path) override
    {
        Note("create " + name + " " + path);
        return createError;
    }
    uint32_t OpenService() override { return Note("open-service") ? 0 : kErrorNoSuchService; }
    bool ChangeDescription(const std::string& text) override { return Note("describe " + text); }
    bool ChangeFailureActions(uint32_t delay) override { return Note("restart " + std::to_string(delay)); }
    bool QueryStatus(uint32_t& current) override
    {
        current = state;
        return Note("query");
    }
    uint32_t StartService() override
    {
        Note("start");
        return startError;
    }
    bool Control(uint32_t control) override { return Note("control " + std::to_string(control)); }
    bool DeleteService() override { return Note("delete"); }

private:
    bool Note(const std::string& call)
    {
        calls += call + "; ";
        return failing.count(call.substr(0, call.find(' '))) == 0;
    }
};

// Fails every time: install and uninstall go on regardless.
class CFakeFirewall : public CFirewall
{
public:
    std::string calls;
    int AddFirewallRule(const std::string& path) override
    {
        calls += "add " + path + "; ";
        return 1;
    }
    int RemoveFirewallRule(const std::string& path) override
    {
        calls += "remove " + path + "; ";
        return 1;
    }
};

class CFakeStore : public CKeyStore
{
public:
    int removes = 0;
    int RemoveLayout() override
    {
        ++removes;
        return 0;
    }
};

struct Outcome
{
    int exitCode;
    std::string out;
    std::string err;
    std::string calls;
};

struct Rig
{
    CFakeManager manager;
    CFakeFirewall firewall;
    CFakeStore store;
    std::string sleeps;

    Outcome operator()(const std::string& command)
    {
        std::ostringstream out;
        std::ostringstream err;
        CControlOutput output(out, err);
        CServiceControl control(manager, firewall, store, output, "/opt/corvane/sbin",
                                [this](int ms) { sleeps += std::to_string(ms) + " "; });
        const int code = control.Run(command);
        return {code, out.str(), err.str(), manager.calls};
    }
};

void ExpectOutcome(const Outcome& got, int exitCode, const std::string& out, const std::string& err,
                   const std::string& calls)
{
    EXPECT_EQ(got.exitCode, exitCode);
    EXPECT_EQ(got.out, out);
    EXPECT_EQ(got.err, err);
    EXPECT_EQ(got.calls, calls);
}

const std::string kCreate = "open; create Quillon Corvane Key Service /opt/corvane/sbin/Ternwick; describe Quillon "
                            "Corvane Key Service Ver.1.20; restart 1000; ";

TEST(ServiceControl, InstallCreatesOpensTheFirewallAndStarts)
{
    Rig run;
    ExpectOutcome(run("install"), 0, "", "", kCreate + "query; start; ");
    EXPECT_EQ(run.firewall.calls, "add \"/opt/corvane/sbin/Ternwick\"; ");
    EXPECT_EQ(run.sleeps, "500 500 ");
}

TEST(ServiceControl, InstallFailures)
{
    Rig exists;
    exists.manager.createError = 1073;
    ExpectOutcome(exists("Install"), 1, "", "Error Info: Can't Install Service!! - 1073\n",
                  "open; create Quillon Corvane Key Service /opt/corvane/sbin/Ternwick; ");
    EXPECT_EQ(exists.firewall.calls, "");

    Rig optional;
    optional.manager.failing = {"describe", "restart"};
    ExpectOutcome(optional("install"), 0, "",
                  "Warning Info: Can't set description!!\nWarning Info: Can't set failure action!!\n",
                  kCreate + "query; start; ");

    // The service stays installed and the firewall open.
    Rig notStarting;
    notStarting.manager.startError = 1067;
    ExpectOutcome(notStarting("install"), 1, "", "Error Info: Can't Start Service!! - 1067\n",
                  kCreate + "query; start; ");
    EXPECT_EQ(notStarting.firewall.calls, "add \"/opt/corvane/sbin/Ternwick\"; ");
}

TEST(ServiceControl, ManagerOrServiceMissing)
{
    Rig noManager;
    noManager.manager.failing = {"open"};
    ExpectOutcome(noManager("install"), 1, "", "Error Info: Can't open SCM!!\n", "open; ");
    Rig noService;
    noService.manager.failing = {"open-service"};
    ExpectOutcome(noService("status"), 1, "", "Error Info: Can't open Service!!\n", "open; open-service; ");
    Rig help;
    ExpectOutcome(help(" status"), 1, help("").out, "", "");
    // Asked for, the usage is an answer, not a failure; the manager is not asked anything.
    ExpectOutcome(help("--help"), 0, help("").out, "", "");
    ExpectOutcome(help("-h"), 0, help("").out, "", "");
    EXPECT_EQ(help("").out.rfind("Usage : Oxlade COMMAND\n", 0), 0u);
}

TEST(ServiceControl, ControlsSkipTheStateTheyWouldReach)
{
    struct Case
    {
        const char* command;
        uint32_t state;
        std::string calls;
    };
    const Case cases[] = {
        {"start", 4, "query; "},           {"start", 7, "query; start; "},      {"stop", 1, "query; "},
        {"stop", 7, "query; control 1; "}, {"suspend", 7, "query; "},           {"suspend", 4, "query; control 2; "},
        {"resume", 4, "query; "},          {"resume", 7, "query; control 3; "},
    };
    for (const auto& entry : cases) {
        Rig run;
        run.manager.state = entry.state;
        SCOPED_TRACE(std::string(entry.command) + " in state " + std::to_string(entry.state));
        ExpectOutcome(run(entry.command), 0, "", "", "open; open-service; " + entry.calls);
    }
}

TEST(ServiceControl, ControlFailuresNameTheirStep)
{
    const std::pair<const char*, const char*> cases[] = {
        {"stop", "Error Info: Can't Stop Service!!\n"},
        {"suspend", "Error Info: Can't suspend Service!!\n"},
        {"resume", "Error Info: Can't resume Service!!\n"},
    };
    for (const auto& [command, error] : cases) {
        Rig run;
        run.manager.state = 2;
        run.manager.failing = {"control"};
        EXPECT_EQ(run(command).err, error);
        Rig blind;
        blind.manager.failing = {"query"};
        EXPECT_EQ(blind(command).err, "Error Info: Can't Query Service Status!!\n");
    }
}

TEST(ServiceControl, UninstallStopsDeletesAndRemovesEverything)
{
    Rig running;
    running.manager.state = 4;
    // A store that cannot be cleared only writes a debug text.
    ExpectOutcome(running("uninstall"), 0, "", "", "open; open-service; query; control 1; delete; ");
    EXPECT_EQ(running.store.removes, 1);
    EXPECT_EQ(running.firewall.calls, "remove \"/opt/corvane/sbin/Ternwick\"; ");

    Rig stuck;
    stuck.manager.state = 4;
    stuck.manager.failing = {"control"};
    ExpectOutcome(stuck("uninstall"), 1, "", "Error Info: Can't Stop Service!!\n",
                  "open; open-service; query; control 1; ");
    EXPECT_EQ(stuck.store.removes, 0);

    Rig undeletable;
    undeletable.manager.failing = {"delete"};
    ExpectOutcome(undeletable("uninstall"), 1, "", "Error Info: Can't uninstall Service!!\n",
                  "open; open-service; query; delete; ");
    EXPECT_EQ(undeletable.firewall.calls, "");
}

TEST(ServiceControl, StatusShowsTheStateBox)
{
    Rig run;
    run.manager.state = 8;
    ExpectOutcome(run("status"), 0, "Unknow status - 8(8).\n", "", "open; open-service; query; ");
}

} // namespace
