#include "FailoverScenario.h"

#include <chrono>
#include <thread>

namespace {

// Ample for any failover: a check's time-out, fall, and three advertisements of silence.
constexpr int kMoveTimeOutMs = 20000;
// A returning server compares its keys with its peer's as it starts.
constexpr int kInStepTimeOutMs = 5000;

} // namespace

bool KillService(CFailoverPair& pair, int server, std::string* /*problem*/)
{
    pair.Server(server).KillService();
    return true;
}

bool StartService(CFailoverPair& pair, int server, std::string* problem)
{
    const bool started = pair.Server(server).StartService();
    *problem = pair.Server(server).Problem();
    return started;
}

SFailoverOutcome RunFailoverScenario(CFailoverPair& pair, const SFailoverScenario& scenario)
{
    SFailoverOutcome outcome;
    const int failing = pair.Holder();
    if (failing < 0) {
        outcome.failure = "no one server holds the address before the failure:\n" + pair.Report();
        return outcome;
    }
    const int survivor = 1 - failing;
    const auto failedAt = CUnitProbe::Clock::now();
    std::string problem;
    if (!scenario.fail(pair, failing, &problem)) {
        outcome.failure = "cannot fail server " + std::to_string(failing) + ": " + problem;
        return outcome;
    }
    if (!pair.WaitForHolder(survivor, kMoveTimeOutMs)) {
        outcome.failure = "the address did not move to server " + std::to_string(survivor) + ":\n" + pair.Report();
        return outcome;
    }
    const auto served = pair.Unit().WaitServedAgain(failedAt, kMoveTimeOutMs);
    if (!served) {
        outcome.failure = "the unit was not served again:\n" + pair.Report();
        return outcome;
    }
    outcome.servedAgainMs = std::chrono::duration<double, std::milli>(*served - failedAt).count();
    if (scenario.keysChangeMeanwhile && !pair.ChangeKeys(survivor, &problem)) {
        outcome.failure = problem;
        return outcome;
    }

    CKeyServerNode& returning = pair.Server(failing);
    const size_t backups = returning.CountKeepalivedLog("Entering BACKUP STATE");
    if (!scenario.recover(pair, failing, &problem)) {
        outcome.failure = "cannot recover server " + std::to_string(failing) + ": " + problem;
        return outcome;
    }
    if (scenario.keysChangeMeanwhile) {
        const auto inStep = pair.WaitInStep(failing, kInStepTimeOutMs);
        if (!inStep) {
            outcome.failure =
                "the returning server did not catch up with the keys changed meanwhile:\n" + pair.Report();
            return outcome;
        }
        outcome.inStepMs = std::chrono::duration<double, std::milli>(*inStep - returning.StartedAt()).count();
    }
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(kMoveTimeOutMs);
    while (returning.CountKeepalivedLog("Entering BACKUP STATE") == backups) {
        if (std::chrono::steady_clock::now() > deadline) {
            outcome.failure = "the returning server did not become a backup:\n" + pair.Report();
            return outcome;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50));
    }
    // A backup that preempts a lower priority takes the address once it has let three
    // advertisements and its skew pass (3.6 s at a priority of 100).
    std::this_thread::sleep_for(std::chrono::milliseconds(4500));
    if (pair.Holder() != survivor) {
        outcome.failure =
            "the address left server " + std::to_string(survivor) + " after the other returned:\n" + pair.Report();
    }
    return outcome;
}
