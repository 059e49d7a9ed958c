#pragma once

#include <cstdint>
#include <string>

enum class ELockOutcome
{
    Acquired,
    HeldElsewhere, // another process holds the name
    CreateFailed,  // the name could not be taken
};

// A named lock that admits one holder, gone with the process that holds it, however that
// process ends: a named mutex on Windows; on Linux a name in the abstract Unix socket
// namespace (one for every user of the machine), found by connecting to it.
class CSingleInstanceLock
{
public:
    explicit CSingleInstanceLock(std::string name);
    ~CSingleInstanceLock();
    CSingleInstanceLock(const CSingleInstanceLock&) = delete;
    CSingleInstanceLock& operator=(const CSingleInstanceLock&) = delete;

    // Opens the name first and takes it only when nobody answers there.
    ELockOutcome Acquire();

private:
    bool IsHeldElsewhere() const;

    std::string m_name;
    // The listening socket or the mutex handle; -1 while the name is not held.
    std::intptr_t m_handle = -1;
};
