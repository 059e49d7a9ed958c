#pragma once

#include "admin/CTerminal.h"
#include "backup/SealedExport.h"
#include "console/CConsoleTasks.h"

#include <cstdint>
#include <functional>
#include <iosfwd>
#include <optional>
#include <string>
#include <vector>

class CKeyStore;
class CStorageSystem;

// What corvane-admin works on: the key store, the lock-key sticks, the terminal, its
// streams and the service control layer. The program gives the computer's own; tests give
// theirs.
struct SAdminEnvironment
{
    CKeyStore& store;
    const CStorageSystem& storage;
    CTerminal& terminal;
    std::istream& in;
    std::ostream& out;
    std::ostream& err;
    // Where the key store is, as the administrator should be told.
    std::string storeLocation;
    // The key service's state, 1 to 7 as the control program reports it; 0 when unknown.
    std::function<uint32_t()> serviceState;
    PortChangedHook portChanged;
    // What deriving an export's key from its passphrase costs (tests take the least).
    SealedExport::SKdfCost exportCost = SealedExport::DefaultCost();
    // Why the key store's location cannot be used (a wrong CORVANE_STATE_DIR); empty when
    // it can.
    std::string locationProblem;
    // Where the key service keeps the counts of its guards (the state directory).
    std::string countsDirectory;
};

// One run of corvane-admin: the console's task steps on the environment, and what every
// command does alike (error lines, the right to change the store, questions, passwords,
// progress).
class CAdminSession
{
public:
    explicit CAdminSession(const SAdminEnvironment& environment);

    CConsoleTasks& Tasks() { return m_tasks; }
    const SAdminEnvironment& Environment() const { return m_environment; }
    std::ostream& Out() { return m_environment.out; }

    // One line on standard error; the exit status of a refused or failed operation, or of
    // a usage error.
    int Fail(const std::string& message);
    int UsageError(const std::string& message);

    // For a command that changes the store: whether this user may (said when not), with
    // the store prepared (its layout made where missing); a store of another machine
    // identity is refused.
    bool MayWrite();
    // Whether this user may change the store, whoever's it is (said when not); nothing is
    // prepared.
    bool MayChangeAnyStore();
    // The registered IDs, or nullopt (said) when the store cannot be read, is missing or
    // belongs to another machine identity. Changes nothing.
    std::optional<std::vector<std::string>> Registrations();
    // Says what keeps this process from reading the store (or changing it); the exit
    // status of a failed operation.
    int StoreFailure(bool forWriting);

    // Asks the question unless yes was given; without a terminal, fails saying to add yesHint.
    bool Confirm(const std::string& question, bool yes, const std::string& yesHint);
    // The first line of standard input, or a line typed on the terminal without echo.
    std::optional<std::string> ReadPassword(bool fromStdin, const std::string& prompt);
    // A new password and its confirmation: typed twice, or one line of standard input.
    std::optional<std::pair<std::string, std::string>>
    ReadNewPassword(bool fromStdin, const std::string& prompt = "New cooperation password: ");

    // Rewrites a progress line on the terminal after each request; nothing elsewhere.
    CopyProgress ProgressLine(const std::string& what);
    void EndProgress();

private:
    bool HaveTerminal(const std::string& forWhat);

    SAdminEnvironment m_environment;
    CConsoleTasks m_tasks;
    bool m_progressShown = false;
};
