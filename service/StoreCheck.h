#pragma once

#include <string>

// Exit codes of a service that could not start. systemd restarts the service after the
// transient one; the unit prevents a restart after kExitStoreRefused, which only the
// administrator can mend (a wrong machine identity, a damaged store, a refused folder).
inline constexpr int kExitStoreFailed = 1;
inline constexpr int kExitStoreRefused = 78;

// The store as the key service needs it before it listens: usable, its layout there (made
// on a first start), its machine identity this machine's and its port readable.
struct SStoreCheck
{
    bool usable = false;
    std::string reason; // one log line when not usable
    int exitCode = 0;
};

SStoreCheck CheckStoreForService();
