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
    uint32_t openError = kErrorNoSuchService;
    bool privileged = true;
    std::string advice;
    std::set<std::string> failing;
    std::string calls;

    bool Open() override { return Note("open"); }
    bool MayChangeServices() override { return privileged; }
    std::string OpenAdvice() const override { return advice; }
    uint32_t Create(const std::string& name, const std::string& path) override
    {
        Note("create " + name + " " + path);
        return createError;
    }
    uint32_t OpenExisting() override { return Note("open-service") ? 0 : openError; }
    std::string CreateAdvice(uint32_t error, const std::string& path) const override
    {
        return error == kErrorFileNotFound ? "Ternwick is missing: " + path : "";
    }
    bool ChangeDescription(const std::string& text) override { return Note("describe " + text); }
    bool ChangeFailureActions(uint32_t delay) override { return Note("restart " + std::to_string(delay)); }
    bool QueryStatus(uint32_t& current) override
    {
        current = state;
        return Note("query");
    }
    uint32_t Start() override
    {
        Note("start");
        return startError;
    }
    bool Control(uint32_t control) override { return Note("control " + std::to_string(control)); }
    bool Delete() override { return Note("delete"); }

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

// A store with registrations (none, some, or unreadable ones) that a copy is kept of.
class CFakeStore : public CKeyStore
{
public:
    int removes = 0;
    StoreProblem problem = StoreProblem::None;
    int listed = 1;
    size_t keys = 0;
    int copies = 1;
    std::string kept;
    int RemoveLayout() override
    {
        ++removes;
        return 0;
    }
    StoreCondition Inspect(bool /*forWriting*/) override { return {problem, "", ""}; }
    int ReadKeyList(std::map<std::string, CKeyRecord>& list) override
    {
        for (size_t i = 0; i < keys; ++i) {
            list[std::to_string(i)] = CKeyRecord();
        }
        return listed;
    }
    int KeepCopy(std::string& path) override
    {
        if (copies == 1) {
            kept = path = "/var/lib/corvane-keyserver/settings-2026-12-08T233826Z.db";
        }
        return copies;
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
    bool interactive = false;
    std::string sleeps;

    Outcome operator()(const std::string& command)
    {
        std::ostringstream out;
        std::ostringstream err;
        CControlOutput output(out, err, interactive);
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
    // Without the service's program beside it, no unit is left failing every second.
    Rig missing;
    missing.manager.createError = 2;
    ExpectOutcome(missing("install"), 1, "",
                  "Error Info: Ternwick is missing: /opt/corvane/sbin/Ternwick (Can't Install Service!! - 2)\n",
                  "open; create Quillon Corvane Key Service /opt/corvane/sbin/Ternwick; ");
    EXPECT_EQ(missing.firewall.calls, "");

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
    Rig noSystemd;
    noSystemd.manager.failing = {"open"};
    noSystemd.manager.advice = "systemd is not the init system here";
    ExpectOutcome(noSystemd("status"), 1, "", "Error Info: systemd is not the init system here (Can't open SCM!!)\n",
                  "open; ");
    // Each says what to do; uninstalling what is not installed is done already.
    const struct
    {
        const char* command;
        int exitCode;
        std::string out;
        std::string err;
    } notInstalled[] = {
        {"status", 1, "The service is not installed: 'Oxlade install' installs and starts it.\n", ""},
        {"uninstall", 0, "The service is not installed: nothing to uninstall.\n", ""},
        {"start", 1, "",
         "Error Info: The service is not installed: install it with 'Oxlade install' (Can't open Service!! - 1060)\n"},
        {"resume", 1, "",
         "Error Info: The service is not installed: install it with 'Oxlade install' (Can't open Service!! - 1060)\n"},
    };
    for (const auto& c : notInstalled) {
        Rig noService;
        noService.manager.failing = {"open-service"};
        ExpectOutcome(noService(c.command), c.exitCode, c.out, c.err, "open; open-service; ");
        EXPECT_EQ(noService.store.removes, 0) << c.command;
    }
    // A service that exists but cannot be opened (access denied) is never called missing.
    for (const char* command : {"start", "status", "uninstall"}) {
        Rig denied;
        denied.manager.failing = {"open-service"};
        denied.manager.openError = CServiceManager::kErrorAccessDenied;
        ExpectOutcome(denied(command), 1, "", "Error Info: Can't open Service!! - 5\n", "open; open-service; ");
        EXPECT_EQ(denied.store.removes, 0) << command;
    }

    // Not root: refused before anything is asked, except the state.
    Rig user;
    user.manager.privileged = false;
    ExpectOutcome(user("install"), 1, "",
                  "Error Info: Oxlade must run as root to install the service: run 'sudo Oxlade install' (Can't open "
                  "SCM!! - 5)\n",
                  "open; ");
    ExpectOutcome(user("status"), 0, "The service is not running.\n", "", "open; open; open-service; query; ");
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

TEST(ServiceControl, UninstallKeepsACopyOfTheKeysFirstOrUninstallsNothing)
{
    const std::string kept = "/var/lib/corvane-keyserver/settings-2026-12-08T233826Z.db";
    const std::string restore = " (readable by root only; it restores this machine's key store).\n"
                                "  To restore them: Oxlade install; Oxlade stop; cp " +
                                kept +
                                " /var/lib/corvane-keyserver/settings.db; Oxlade start\n"
                                "  To delete them:  rm " +
                                kept + "\n";
    const std::string announce = "Uninstalling Ternwick: a copy of the key store is kept first; then the service is "
                                 "stopped, its unit and its firewall opening are removed, and every registration is "
                                 "deleted from the key store.\n";
    const std::string refused = "Error Info: Can't keep a copy of the keys beside the key store, so nothing was "
                                "uninstalled: make room in its folder and try again, or export the keys (corvane-admin "
                                "export FILE) and remove the store yourself\n";
    const std::string uninstalled = "open; open-service; query; delete; ";
    const struct
    {
        const char* condition;
        StoreProblem problem;
        int listed;
        size_t keys;
        int copies;
        bool interactive;
        int exitCode;
        std::string out;
        std::string err;
        std::string calls;
    } cases[] = {
        {"two keys", StoreProblem::None, 1, 2, 1, false, 0,
         "The keys of 2 registrations were kept in " + kept + restore, "", uninstalled},
        {"one key, on a terminal", StoreProblem::None, 1, 1, 1, true, 0,
         announce + "The keys of 1 registration were kept in " + kept + restore, "", uninstalled},
        {"keys that cannot be read here", StoreProblem::None, 0, 0, 1, false, 0,
         "The key store (unreadable here, so every key it holds) was kept in " + kept + restore, "", uninstalled},
        {"no registration", StoreProblem::None, 1, 0, 0, false, 0, "", "", uninstalled},
        {"no store", StoreProblem::Missing, 0, 0, 0, false, 0, "", "", uninstalled},
        {"no room for the copy", StoreProblem::None, 1, 3, 0, false, 1, "", refused, "open; open-service; "},
    };
    for (const auto& c : cases) {
        SCOPED_TRACE(c.condition);
        Rig run;
        run.store.problem = c.problem;
        run.store.listed = c.listed;
        run.store.keys = c.keys;
        run.store.copies = c.copies;
        run.interactive = c.interactive;
        ExpectOutcome(run("uninstall"), c.exitCode, c.out, c.err, c.calls);
        EXPECT_EQ(run.store.removes, c.exitCode == 0 ? 1 : 0);
    }
}

TEST(ServiceControl, StatusShowsTheStateBox)
{
    Rig run;
    run.manager.state = 8;
    ExpectOutcome(run("status"), 0, "Unknow status - 8(8).\n", "", "open; open-service; query; ");
}

} // namespace
