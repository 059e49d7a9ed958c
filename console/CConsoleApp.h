#pragma once

#include "console/CSingleInstanceLock.h"

#include <string>

class CConsoleTasks;
class CStartupView;
class CStorageSystem;

enum class EStartOutcome
{
    AlreadyRunning,   // another console runs: end without a word
    LockFailed,       // the single-instance lock could not be taken: end without a word
    NotAdministrator, // this user may not change the store
    ForeignStore,     // the store's keys were masked for another machine identity
    Admitted,
};

// The console's start-up: one running instance on the machine, for users who may change the
// store, then the main dialog until it closes. Holds the single-instance lock until the
// process ends.
class CConsoleApp
{
public:
    static constexpr const char* kInstanceLockName = "Corvane_Halvard";

    CConsoleApp(CConsoleTasks& tasks, const CStorageSystem& storage, std::string lockName = kInstanceLockName);

    // The instance test comes first, so a second start says nothing whoever makes it.
    EStartOutcome Start();
    // Start; a refused user gets message 102, a store of another machine identity its own
    // message; an admitted one the main dialog, whose watcher has stopped when this returns.
    void Run(CStartupView& view);

private:
    CConsoleTasks& m_tasks;
    const CStorageSystem& m_storage;
    CSingleInstanceLock m_lock;
};
