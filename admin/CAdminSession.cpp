#include "CAdminSession.h"

#include "admin/ExitStatus.h"
#include "platform/SafeText.h"
#include "settings/CKeyStore.h"
#include "settings/StoreMessages.h"

#include <istream>
#include <ostream>

CAdminSession::CAdminSession(const SAdminEnvironment& environment)
    : m_environment(environment), m_tasks(m_environment.store, m_environment.portChanged)
{}

int CAdminSession::Fail(const std::string& message)
{
    // Messages name IDs, paths and hosts from the store, sticks, peers and the command line.
    m_environment.err << "corvane-admin: " << SafeText(message) << "\n";
    return kExitFailed;
}

int CAdminSession::UsageError(const std::string& message)
{
    m_environment.err << "corvane-admin: " << SafeText(message) << "\n";
    return kExitUsage;
}

bool CAdminSession::MayWrite()
{
    if (!MayChangeAnyStore()) {
        return false;
    }
    if (!m_environment.store.Prepare()) {
        StoreFailure(true);
        return false;
    }
    return true;
}

bool CAdminSession::MayChangeAnyStore()
{
    if (!m_tasks.MayChangeStore()) {
        StoreFailure(true);
        return false;
    }
    return true;
}

std::optional<std::vector<std::string>> CAdminSession::Registrations()
{
    // Reading changes nothing: a store that is missing or damaged is said to be so.
    CKeyStore& store = m_environment.store;
    if (store.Inspect(false).problem != StoreProblem::None ||
        store.CheckMachineIdentity() == CKeyStore::Identity::Foreign) {
        StoreFailure(false);
        return std::nullopt;
    }
    auto ids = m_tasks.ReadRegistrations();
    if (!ids) {
        StoreFailure(false);
    }
    return ids;
}

int CAdminSession::StoreFailure(bool forWriting)
{
    CKeyStore& store = m_environment.store;
    StoreCondition condition = store.Inspect(forWriting);
    if (condition.problem == StoreProblem::None) {
        if (store.CheckMachineIdentity() == CKeyStore::Identity::Foreign) {
            return Fail(StoreMessages::ForeignIdentity(condition.path));
        }
        condition.problem = StoreProblem::Failed;
    }
    return Fail(StoreMessages::Describe(condition, forWriting));
}

bool CAdminSession::HaveTerminal(const std::string& forWhat)
{
    if (m_environment.terminal.IsInteractive()) {
        return true;
    }
    Fail("no terminal to ask on: " + forWhat);
    return false;
}

bool CAdminSession::Confirm(const std::string& question, bool yes, const std::string& yesHint)
{
    if (yes) {
        return true;
    }
    return HaveTerminal(yesHint) && m_environment.terminal.Ask(SafeText(question));
}

std::optional<std::string> CAdminSession::ReadPassword(bool fromStdin, const std::string& prompt)
{
    if (fromStdin) {
        std::string line;
        if (!std::getline(m_environment.in, line)) {
            Fail("no password on standard input: give it as the first line");
            return std::nullopt;
        }
        if (!line.empty() && line.back() == '\r') {
            line.pop_back();
        }
        return line;
    }
    if (!HaveTerminal("give the password on standard input with --stdin")) {
        return std::nullopt;
    }
    auto password = m_environment.terminal.ReadSecret(SafeText(prompt));
    if (!password) {
        Fail("no password given: nothing was done");
    }
    return password;
}

std::optional<std::pair<std::string, std::string>> CAdminSession::ReadNewPassword(bool fromStdin,
                                                                                  const std::string& prompt)
{
    const auto password = ReadPassword(fromStdin, prompt);
    if (!password) {
        return std::nullopt;
    }
    const auto confirmation = fromStdin ? password : ReadPassword(false, "The same again: ");
    if (!confirmation) {
        return std::nullopt;
    }
    return std::make_pair(*password, *confirmation);
}

CopyProgress CAdminSession::ProgressLine(const std::string& what)
{
    if (!m_environment.terminal.ShowsProgress()) {
        return {};
    }
    return [this, what](size_t done, size_t total) {
        // A copy done in one request needs no progress line.
        if (done == total && !m_progressShown) {
            return;
        }
        m_progressShown = true;
        m_environment.terminal.Progress(SafeText(what) + ": " + std::to_string(done) + " of " + std::to_string(total));
    };
}

void CAdminSession::EndProgress()
{
    if (m_progressShown) {
        m_environment.terminal.EndProgress();
        m_progressShown = false;
    }
}
