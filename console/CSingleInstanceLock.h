#pragma once

#include <string>

enum class ELockOutcome
{
    Acquired,
    HeldElsewhere, // another process holds the name
    CreateFailed,  // the name could not be taken
};

// A lock named in the abstract Unix socket namespace: one name for every user of the
// machine, and gone with the process that holds it, however that process ends. Another
// process finds it by connecting to the name.
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
    int m_fd = -1;
};
