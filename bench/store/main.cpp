// Usage: corvane_store_bench [directory]   (default: a fresh directory below /tmp)
// Prints the figures; asserts nothing.
#include "CChildProcess.h"
#include "backup/ExportPayload.h"
#include "backup/SealedExport.h"
#include "platform/CEvent.h"
#include "settings/CKeyStore.h"
#include "settings/CRegistryKey.h"
#include "settings/RegistryNotify.h"

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <sqlite3.h>
#include <string>
#include <unistd.h>
#include <vector>

namespace {

int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts); // shared by all processes of the machine
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

struct Figures
{
    double cpuUs = 0; // CPU time of this process per call: what the call costs without other load
    double meanUs;
    double medianUs;
    double p95Us;
    double maxUs;
};

Figures Summarise(std::vector<double> samples)
{
    std::sort(samples.begin(), samples.end());
    double sum = 0;
    for (double s : samples) {
        sum += s;
    }
    auto at = [&samples](double q) {
        return samples[std::min(samples.size() - 1, static_cast<size_t>(q * static_cast<double>(samples.size())))];
    };
    return {0, sum / static_cast<double>(samples.size()), at(0.5), at(0.95), samples.back()};
}

Figures Time(int reps, const std::function<void(int)>& body)
{
    std::vector<double> samples;
    samples.reserve(reps);
    timespec cpuStart{};
    timespec cpuEnd{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuStart);
    for (int i = 0; i < reps; ++i) {
        const int64_t start = NowNs();
        body(i);
        samples.push_back(static_cast<double>(NowNs() - start) / 1000.0);
    }
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &cpuEnd);
    Figures figures = Summarise(samples);
    const double cpuNs = static_cast<double>(cpuEnd.tv_sec - cpuStart.tv_sec) * 1e9 +
                         static_cast<double>(cpuEnd.tv_nsec - cpuStart.tv_nsec);
    figures.cpuUs = cpuNs / 1000.0 / reps;
    return figures;
}

void Print(const char* what, size_t keys, const Figures& f)
{
    std::printf("%-15s %6zu keys  cpu %8.1f us  wall: mean %8.1f us  median %8.1f us  p95 %8.1f us  max %9.1f us\n",
                what, keys, f.cpuUs, f.meanUs, f.medianUs, f.p95Us, f.maxUs);
}

std::string Id(int i)
{
    char text[16];
    std::snprintf(text, sizeof text, "00A0B0%06X", i);
    return text;
}

CKeyRecord Record(int i)
{
    unsigned char key[32];
    for (int b = 0; b < 32; ++b) {
        key[b] = static_cast<unsigned char>(i * 31 + b);
    }
    CKeyRecord record;
    record.SetId(Id(i));
    record.SetKey(key);
    return record;
}

// The writer process: one WritePort per command byte, answering with the times before
// and after the write.
int Writer()
{
    CKeyStore store;
    char command;
    int port = 1000;
    while (read(0, &command, 1) == 1) {
        const int64_t before = NowNs();
        store.WritePort(++port);
        const int64_t after = NowNs();
        const int64_t times[2] = {before, after};
        if (write(1, times, sizeof times) != static_cast<ssize_t>(sizeof times)) {
            return 1;
        }
    }
    return 0;
}

void NotificationDelay(const std::string& self)
{
    Harness::CChildProcess writer;
    Harness::CChildProcess::SOptions streams;
    streams.input.kind = Harness::SChildStream::EKind::Pipe;
    streams.output.kind = Harness::SChildStream::EKind::Pipe;
    if (!writer.Start({self, "--writer"}, streams)) {
        return;
    }

    CKeyStore store;
    CRegistryKey config = store.OpenConfigKey();
    Platform::CEvent event(false, false);
    std::vector<double> fromCall;
    std::vector<double> fromReturn;
    int missed = 0;
    for (int i = 0; i < 60; ++i) {
        NotifyChangeKeyValue(config.GetHandle(), false, kRegNotifyChangeLastSet, &event);
        if (!writer.Write("w")) {
            break;
        }
        const bool fired = event.Wait(5000);
        const int64_t notified = NowNs();
        int64_t times[2];
        if (writer.Read(times, sizeof times) != static_cast<long>(sizeof times)) {
            break;
        }
        if (!fired) {
            ++missed;
            continue;
        }
        fromCall.push_back(static_cast<double>(notified - times[0]) / 1000.0);
        fromReturn.push_back(static_cast<double>(notified - times[1]) / 1000.0);
        usleep(20000);
    }
    writer.CloseInput();
    writer.WaitExit(10000);
    if (!fromCall.empty()) {
        const Figures call = Summarise(fromCall);
        const Figures ret = Summarise(fromReturn);
        std::printf("notify (other process), %zu writes, %d missed:\n", fromCall.size(), missed);
        std::printf("  from write call    median %9.1f us  p95 %9.1f us  max %9.1f us\n", call.medianUs, call.p95Us,
                    call.maxUs);
        std::printf("  from write return  median %9.1f us  p95 %9.1f us  max %9.1f us\n", ret.medianUs, ret.p95Us,
                    ret.maxUs);
    }
}

// A push of every key in one change, and a sealed export and its import, at the store's
// size now.
void PrintWholeStore(CKeyStore& store, int keys)
{
    std::vector<CKeyRecord> records;
    for (int i = 0; i < keys; ++i) {
        records.push_back(Record(i));
    }
    Print("StoreKeys (all)", static_cast<size_t>(keys), Time(5, [&](int) { store.StoreKeys(records); }));

    const char* passphrase = "a passphrase for the bench";
    ExportPayload::SExport exported;
    std::string sealed;
    const Figures exportTime = Time(3, [&](int) {
        store.ReadContents(exported.contents);
        sealed = SealedExport::Seal(ExportPayload::Encode(exported), passphrase, SealedExport::DefaultCost());
    });
    Print("export", exported.contents.keys.size(), exportTime);
    const Figures importTime = Time(3, [&](int) {
        const SealedExport::SUnsealed opened = SealedExport::Unseal(sealed, passphrase);
        const auto decoded = ExportPayload::Decode(opened.plain);
        if (!decoded || store.Restore(decoded->contents, false) != 1) {
            std::fprintf(stderr, "import failed\n");
        }
    });
    Print("import", exported.contents.keys.size(), importTime);
    const int64_t start = NowNs();
    SealedExport::Seal("", passphrase, SealedExport::DefaultCost());
    std::printf("export file: %zu bytes for %zu keys; deriving the key alone: %.0f ms\n", sealed.size(),
                exported.contents.keys.size(), static_cast<double>(NowNs() - start) / 1e6);
}

} // namespace

// What the other way of telling "has anything changed" would cost: SQLite's
// data_version on a connection kept for it.
void PrintDataVersion(const std::string& file, int keys)
{
    sqlite3* db = nullptr;
    sqlite3_stmt* statement = nullptr;
    if (sqlite3_open_v2(file.c_str(), &db, SQLITE_OPEN_READONLY, nullptr) == SQLITE_OK &&
        sqlite3_prepare_v2(db, "PRAGMA data_version", -1, &statement, nullptr) == SQLITE_OK) {
        Print("data_version", keys, Time(20000, [&](int) {
                  sqlite3_step(statement);
                  sqlite3_reset(statement);
              }));
    }
    sqlite3_finalize(statement);
    sqlite3_close(db);
}

int main(int argc, char** argv)
{
    if (argc >= 2 && std::string(argv[1]) == "--writer") {
        return Writer();
    }
    std::string dir;
    if (argc >= 2 && argv[1][0] == '-') {
        std::fprintf(stderr, "usage: corvane_store_bench [directory]\n");
        return 2;
    }
    if (argc >= 2) {
        dir = argv[1];
    } else {
        char pattern[] = "/tmp/corvane-store-bench-XXXXXX";
        if (mkdtemp(pattern) == nullptr) {
            return 1;
        }
        dir = std::string(pattern) + "/state";
    }
    setenv("CORVANE_STATE_DIR", dir.c_str(), 1);
    std::printf("store in %s\n", dir.c_str());

    CKeyStore store;
    if (store.CreateLayout() != 1) {
        std::fprintf(stderr, "cannot create the store\n");
        return 1;
    }
    int stored = 0;
    for (const int target : {10, 1000, 10000}) {
        while (stored < target) {
            store.StoreKey(Record(stored++));
        }
        // Replacing existing keys, so the count stays.
        Print("StoreKey", stored, Time(200, [&](int i) { store.StoreKey(Record(i % target)); }));
        const int loads = target >= 10000 ? 100 : 2000;
        size_t seen = 0;
        Print("LoadKeyList", stored, Time(loads, [&](int) { seen = store.LoadKeyList().size(); }));
        if (seen != static_cast<size_t>(stored)) {
            std::fprintf(stderr, "LoadKeyList returned %zu of %d\n", seen, stored);
        }
        Print("ReadPort", stored, Time(20000, [&](int) { store.ReadPort(); }));
        Print("KeyListVersion", stored, Time(20000, [&](int) { store.KeyListVersion(); }));
        Print("ChangeCount", stored, Time(200000, [&](int) { store.ChangeCount(); }));
        PrintDataVersion(dir + "/settings.db", stored);
    }
    PrintWholeStore(store, stored);
    char self[4096];
    const ssize_t n = readlink("/proc/self/exe", self, sizeof self - 1);
    if (n > 0) {
        self[n] = '\0';
        NotificationDelay(self);
    }
    if (argc < 2) {
        std::error_code ignored;
        std::filesystem::remove_all(std::filesystem::path(dir).parent_path(), ignored);
    }
    return 0;
}
