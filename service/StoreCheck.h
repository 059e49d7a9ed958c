#pragma once

#include <cstdint>
#include <string>

class CKeyStore;

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

// The port the service listens on: the stored PortNo, or the default port when "Config"
// holds none or 0. 0 when the store cannot tell (no "Config", or a failed read): the
// service then never listens on a port the store did not name.
uint16_t ServicePort(CKeyStore& store);
