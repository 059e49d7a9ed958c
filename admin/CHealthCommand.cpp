#include "CHealthCommand.h"

#include "admin/AdminText.h"
#include "admin/ExitStatus.h"
#include "admin/JsonText.h"
#include "admin/LocalCheck.h"
#include "platform/SafeText.h"
#include "protocol/CKeyServerClient.h"
#include "settings/CKeyStore.h"
#include "settings/StoreMessages.h"
#include "sync/CPeerStore.h"
#include "sync/CSyncLedger.h"

#include <ostream>

namespace {

// A check that is to run every second must not wait long for a stuck service.
constexpr int32_t kDefaultTimeOutMs = 1000;

// The service manager's states (see status) that mean a pause.
constexpr uint32_t kPausePending = 6;
constexpr uint32_t kPaused = 7;

std::string Seconds(int32_t ms)
{
    std::string text = std::to_string(ms / 1000);
    if (ms % 1000 != 0) {
        std::string fraction = std::to_string(1000 + ms % 1000).substr(1);
        fraction.erase(fraction.find_last_not_of('0') + 1);
        text += "." + fraction;
    }
    return text;
}

} // namespace

int CHealthCommand::Run()
{
    const SFinding finding = Verdict();
    if (m_line.Has(kOptionJson)) {
        m_session.Out() << "{\"health\": \"" << finding.name << "\", \"exitStatus\": " << finding.status
                        << ", \"port\": " << (m_port != 0 ? std::to_string(m_port) : "null")
                        << ", \"message\": " << JsonString(finding.message) << "}\n";
        return finding.status;
    }
    if (finding.status == kExitSuccess) {
        m_session.Out() << "healthy: " << SafeText(finding.message) << "\n";
    } else {
        // Messages name the store's path.
        m_session.Environment().err << "corvane-admin: " << finding.name << ": " << SafeText(finding.message) << "\n";
    }
    return finding.status;
}

CHealthCommand::SFinding CHealthCommand::Verdict()
{
    // Each runs only on a service the ones before found healthy.
    for (SFinding (CHealthCommand::*check)() :
         {&CHealthCommand::CheckStore, &CHealthCommand::CheckAnswer, &CHealthCommand::CheckConflicts}) {
        SFinding finding = (this->*check)();
        if (finding.status != kExitSuccess) {
            return finding;
        }
    }
    return {kExitSuccess, "healthy", "the key service answers on port " + std::to_string(m_port)};
}

CHealthCommand::SFinding CHealthCommand::CheckConflicts()
{
    if (m_line.Has(kOptionServingOnly)) {
        return {kExitSuccess, "healthy", ""};
    }
    const auto peers = CPeerStore().List();
    const size_t conflicts = peers && !peers->empty() ? CSyncLedger::ReadConflicts().size() : 0;
    if (conflicts != 0) {
        return {kExitInConflict, "in-conflict",
                CountOf(conflicts, "ID") + " with another key on a peer than here: see 'corvane-admin peer list', " +
                    "settle with 'corvane-admin peer resolve'"};
    }
    return {kExitSuccess, "healthy", ""};
}

CHealthCommand::SFinding CHealthCommand::CheckStore()
{
    CKeyStore& store = m_session.Environment().store;
    const StoreCondition condition = store.Inspect(false);
    if (condition.problem != StoreProblem::None) {
        return {kExitStoreUnusable, "store-unusable", StoreMessages::Describe(condition, false)};
    }
    switch (store.CheckMachineIdentity()) {
    case CKeyStore::Identity::Foreign:
        return {kExitStoreForeign, "store-foreign", StoreMessages::ForeignIdentity(condition.path)};
    case CKeyStore::Identity::Unknown:
        return {kExitStoreUnusable, "store-unusable", "the key store " + condition.path + " cannot be read"};
    case CKeyStore::Identity::Matches:
    case CKeyStore::Identity::Unverified:
        break;
    }
    m_port = store.ReadPort();
    if (m_port == 0) {
        return {kExitStoreUnusable, "store-unusable", "the key store " + condition.path + " holds no port"};
    }
    return {kExitSuccess, "healthy", ""};
}

CHealthCommand::SFinding CHealthCommand::CheckAnswer()
{
    const int32_t timeOutMs = m_line.Has(kOptionTimeOut) ? m_line.TimeOutMs() : kDefaultTimeOutMs;
    CKeyServerClient::SetDefaultTimeOut(timeOutMs);
    const ECopyOutcome outcome = CheckLocalService(m_port);
    if (outcome == ECopyOutcome::Done) {
        return {kExitSuccess, "healthy", ""};
    }
    // A paused service keeps its port open and serves no one: only its manager can tell
    // that from a stuck one.
    const auto& serviceState = m_session.Environment().serviceState;
    const uint32_t state = serviceState ? serviceState() : 0;
    const std::string port = std::to_string(m_port);
    if (state == kPaused || state == kPausePending) {
        return {kExitPaused, "paused", "the key service is paused: port " + port + " is open but serves no one"};
    }
    if (outcome == ECopyOutcome::NoConnection) {
        return {kExitNotRunning, "not-running", "nothing listens on port " + port + " of this computer"};
    }
    return {kExitNotAnswering, "not-answering",
            "the key service on port " + port + " did not answer a check within " + Seconds(timeOutMs) + " s"};
}
