// health against the real Ternwick and the real program: one exit status per reason.
#include "AdminTest.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"

#include <csignal>
#include <fstream>
#include <functional>

namespace {

TEST_F(AdminTest, HealthNamesEachReasonWithAnExitStatusOfItsOwn)
{
    uint16_t port = Harness::FreePort();
    ASSERT_EQ(store.WritePort(port), 1);
    std::unique_ptr<Harness::CTernwickProcess> service;
    Harness::CTempDir damaged;
    std::ofstream(damaged.Path() + "/settings.db", std::ios::binary) << std::string(4096, '\x5a');
    const std::string otherMachine = damaged.Path() + "/machine-id";
    std::ofstream(otherMachine) << "0123456789abcdef0123456789abcdef\n";
    const std::string portText = std::to_string(port);

    const struct
    {
        const char* step;
        std::function<void()> before;
        std::vector<std::string> args;
        SProgramOptions options;
        std::string stateDir; // empty: the test's
        int status;
        std::string said; // the start of the line on standard error, or of standard output
    } steps[] = {
        {"nothing listens", [] {}, {"health"}, {}, "", 3, "corvane-admin: not-running: nothing listens on port "},
        {"serving",
         [&] { service = StartService(port); },
         {"health"},
         {},
         "",
         0,
         "healthy: the key service answers on port " + portText},
        {"serving, as JSON",
         [] {},
         {"health", "--json"},
         {},
         "",
         0,
         "{\"health\": \"healthy\", \"exitStatus\": 0, \"port\": " + portText},
        // Without a service manager to ask, a pause cannot be told from a stuck service.
        {"paused",
         [&] {
             service->Signal(SIGUSR1);
             EXPECT_TRUE(service->WaitForLog("paused: ", 1, 10000)) << service->Log();
         },
         {"health", "--timeout", "0.3"},
         {},
         "",
         4,
         "corvane-admin: not-answering: the key service on port " + portText + " did not answer a check within 0.3 s"},
        {"continued",
         [&] {
             service->Signal(SIGUSR2);
             EXPECT_TRUE(service->WaitForLog("continued", 1, 10000)) << service->Log();
         },
         {"health"},
         {},
         "",
         0,
         "healthy: "},
        {"in conflict with a peer",
         [&] {
             // A peer (where nothing listens) whose entry for a registered ID has another key.
             ASSERT_EQ(CPeerStore().Add({"b", "127.0.0.1", 1, std::string(32, 's'), {}}), CPeerStore::Result::Done);
             Register("00A0B0C0D0E1", 1);
             CSyncLedger ledger(store);
             ASSERT_TRUE(ledger.Load());
             ASSERT_TRUE(ledger.Scan(1800000000));
             const Sync::SEntry theirs{
                 "00A0B0C0D0E1", {{std::string(16, 'p'), 1}}, false, 1800000000, std::string(32, 'x')};
             EXPECT_EQ(ledger.Apply({theirs}, "b", 1800000000).conflicts, 1u);
         },
         {"health"},
         {},
         "",
         8,
         "corvane-admin: in-conflict: 1 ID with another key on a peer than here"},
        {"in conflict, for a failover manager", [] {}, {"health", "--serving-only"}, {}, "", 0, "healthy: "},
        {"store damaged",
         [] {},
         {"health", "--json"},
         {},
         damaged.Path(),
         6,
         "{\"health\": \"store-unusable\", \"exitStatus\": 6, \"port\": null, \"message\": \"the key store "},
        {"store of another machine",
         [] {},
         {"health"},
         {false, otherMachine, ""},
         "",
         7,
         "corvane-admin: store-foreign: "},
        {"stopped", [&] { service.reset(); }, {"health"}, {}, "", 3, "corvane-admin: not-running: "},
    };
    for (const auto& step : steps) {
        if (!step.options.machineIdFile.empty() && !Harness::CanChangeMachineIdentity()) {
            continue;
        }
        step.before();
        const SProgramRun run =
            RunAdminProgram(step.stateDir.empty() ? StateDir() : step.stateDir, step.args, step.options);
        EXPECT_EQ(run.status, step.status) << step.step << ": " << run.err;
        const std::string& said = step.status == 0 || step.args.back() == "--json" ? run.out : run.err;
        EXPECT_EQ(said.substr(0, step.said.size()), step.said) << step.step << ": " << said;
        EXPECT_EQ(std::count(said.begin(), said.end(), '\n'), 1) << step.step << ": " << said;
    }
}

// The service manager's word tells a pause from a service that does not answer.
TEST_F(AdminTest, HealthSaysPausedWhenTheServiceManagerDoes)
{
    uint16_t port = 0;
    const auto service = StartService(port);
    service->Signal(SIGUSR1);
    ASSERT_TRUE(service->WaitForLog("paused: ", 1, 10000)) << service->Log();
    for (const uint32_t state : {6u, 7u}) {
        serviceState = state;
        EXPECT_EQ(Run({"health", "--timeout", "0.2"}), 5) << state;
        EXPECT_EQ(err, "corvane-admin: paused: the key service is paused: port " + std::to_string(port) +
                           " is open but serves no one\n");
    }
}

} // namespace
