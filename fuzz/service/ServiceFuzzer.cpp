// Feeds arbitrary peer bytes to the key service's handling of one connection: the request
// framing and the handlers of every request, over a small real store with keys and a
// cooperation password. Input: byte 0 seeds the chunking of reads and writes, the rest is
// what the peer sends.
#include "CFuzzServerSocket.h"
#include "keys/CKeyRecord.h"
#include "service/CServiceHost.h"
#include "service/ConnectionThread.h"
#include "settings/CKeyStore.h"
#include "settings/MachineText.h"

#include <cstddef>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <map>
#include <memory>
#include <string>
#include <unistd.h>

namespace {

// The registrations every input starts from.
const std::map<std::string, std::string> kBaseKeys = {
    {"00A0B0C0D0E0", std::string(32, '\x11')},
    {"0123456789AB", "0123456789abcdef0123456789abcdef"},
    {"A", std::string(32, '\0')},
};
const char kPassword[] = "coop-pass";

CKeyStore& Store()
{
    static CKeyStore store;
    return store;
}

void StoreBaseKeys()
{
    for (const auto& [id, key] : kBaseKeys) {
        CKeyRecord record;
        record.SetId(id);
        record.SetKey(key.data());
        if (Store().StoreKey(record) == 0) {
            std::fprintf(stderr, "service fuzzer: cannot store %s\n", id.c_str());
            std::abort();
        }
    }
}

// Request 512 writes into the store; put it back so that every input meets the same store
// and a crash input reproduces on its own.
void RestoreStore()
{
    for (const auto& entry : Store().LoadKeyList()) {
        if (kBaseKeys.count(entry.first) == 0) {
            Store().DeleteKey(entry.first);
        }
    }
    StoreBaseKeys();
}

// Its reports go nowhere: only the handling of connections runs here.
class CNoReports : public CStatusReporter
{
public:
    bool Report(const ServiceStatus&) override { return true; }
};

// The parts a connection uses, of a service that is never started.
CServiceHost& Host()
{
    static CNoReports reports;
    static CServiceHost host(reports);
    return host;
}

uint64_t g_version = 0;
std::string g_stateDir;

// libFuzzer ends with exit(); the store goes with the process.
void RemoveStateDir()
{
    std::error_code ignored;
    std::filesystem::remove_all(g_stateDir, ignored);
}

} // namespace

extern "C" int LLVMFuzzerInitialize(int*, char***)
{
    // A store in memory where possible: the requests that store keys then cost no disk sync.
    const char* base = access("/dev/shm", W_OK) == 0 ? "/dev/shm" : "/tmp";
    std::string pattern = std::string(base) + "/corvane-fuzz-XXXXXX";
    if (mkdtemp(pattern.data()) == nullptr) {
        std::perror("service fuzzer: mkdtemp");
        std::abort();
    }
    g_stateDir = pattern.c_str();
    std::atexit(RemoveStateDir);
    setenv("CORVANE_STATE_DIR", g_stateDir.c_str(), 1);
    SetMachineTextForTesting(std::string("fuzz-machine-0123456789abcdef012"));
    if (Store().CreateLayout() == 0 || Store().WritePassword(kPassword) == 0) {
        std::fprintf(stderr, "service fuzzer: cannot set up the store in %s\n", pattern.c_str());
        std::abort();
    }
    StoreBaseKeys();
    g_version = Store().KeyListVersion();
    return 0;
}

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size)
{
    if (size == 0) {
        return 0;
    }
    const auto server = std::make_shared<CFuzzServerSocket>(data + 1, size - 1, data[0]);
    const int result = ServeConnection(Host().Parts(), server, 0);
    // Every way out of a connection closes it exactly once and reports 0 or 1.
    if (server->CloseCount() != 1 || (result != 0 && result != 1)) {
        std::fprintf(stderr, "service fuzzer: %d closes, result %d\n", server->CloseCount(), result);
        std::abort();
    }
    if (Store().KeyListVersion() != g_version) {
        RestoreStore();
        g_version = Store().KeyListVersion();
    }
    return 0;
}
