#include "CBenchSession.h"

#include "BenchKeys.h"
#include "keys/CKeyRecord.h"
#include "settings/CKeyStore.h"

#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <stdexcept>
#include <sys/stat.h>
#include <thread>

CBenchSession::CBenchSession(const BenchOptions& options) : m_options(options)
{
    m_binary = Harness::FindTernwick(options.ternwick);
    if (m_binary.empty()) {
        throw std::runtime_error("Ternwick not found" + (options.ternwick.empty()
                                                             ? std::string(" (give it with --ternwick PATH)")
                                                             : ": " + options.ternwick));
    }
    // The log stays outside the state directory: the store watches that directory, and
    // a write there per request line would wake its watcher each time.
    const std::string stateDir = m_stateDir.Path() + "/state";
    if (mkdir(stateDir.c_str(), 0700) != 0) {
        throw std::runtime_error("cannot create " + stateDir);
    }
    // The store reads the variable at its first use; nothing has used it yet.
    setenv("CORVANE_STATE_DIR", stateDir.c_str(), 1);
    CKeyStore store;
    if (store.CreateLayout() == 0) {
        throw std::runtime_error("cannot create the settings store in " + stateDir);
    }
    m_port = Harness::FreePort();
    if (store.WritePort(m_port) == 0) {
        throw std::runtime_error("cannot write PortNo");
    }
}

CBenchSession::~CBenchSession()
{
    m_service.reset();
}

void CBenchSession::RegisterUpTo(size_t count)
{
    if (count <= m_registered) {
        return;
    }
    const auto start = std::chrono::steady_clock::now();
    CKeyStore store;
    for (size_t unit = m_registered; unit < count; ++unit) {
        const LockKey key = BenchKey(unit);
        CKeyRecord record;
        record.SetId(BenchId(unit));
        record.SetKey(key.data());
        if (store.StoreKey(record) == 0) {
            throw std::runtime_error("cannot register " + BenchId(unit));
        }
    }
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    std::printf("registered %zu keys (%zu in all) in %.2f s\n", count - m_registered, count, seconds);
    std::fflush(stdout);
    m_registered = count;
}

void CBenchSession::StartService()
{
    Harness::CTernwickProcess::SOptions options;
    options.binary = m_binary;
    options.logToPipe = m_options.pipeLog;
    options.logPath = m_options.logPath.empty() ? m_stateDir.Path() + "/ternwick.log" : m_options.logPath;
    m_service.reset();
    m_service = std::make_unique<Harness::CTernwickProcess>(m_stateDir.Path() + "/state", options);
    if (m_service->Pid() <= 0) {
        throw std::runtime_error("cannot start " + m_binary);
    }
    const CRawUnitClient client(Address(), 1000);
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(15);
    bool answered = false;
    while (!answered && m_service->Running() && std::chrono::steady_clock::now() < deadline) {
        answered = client.Check().Ok();
        std::this_thread::sleep_for(std::chrono::milliseconds(answered ? 0 : 20));
    }
    if (!answered) {
        const std::string tail = m_service->LogTail(20);
        m_service->Stop(2000);
        throw std::runtime_error("Ternwick does not answer on port " + std::to_string(m_port) + "; its log:\n" + tail);
    }
}

bool CBenchSession::StopService()
{
    double elapsedMs = 0;
    const int code = m_service->Stop(10000, &elapsedMs);
    std::printf("stop: SIGTERM to exit %.1f ms, exit code %d%s\n", elapsedMs, code,
                code == -1 ? " (killed or died of a signal)" : "");
    if (code != 0) {
        std::printf("service log (tail):\n%s", m_service->LogTail(20).c_str());
    }
    std::fflush(stdout);
    return code == 0;
}
