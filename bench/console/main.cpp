// Usage: corvane_console_bench [state directory]   (default: a fresh directory below /tmp)
// Prints the figures; asserts nothing.
#include "CBenchMainView.h"
#include "CChildProcess.h"
#include "CLatencyStats.h"
#include "console/CConsoleTasks.h"
#include "console/CMainDialog.h"
#include "console/lockkey/CStorageSystem.h"
#include "settings/CKeyStore.h"

#include <condition_variable>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <filesystem>
#include <functional>
#include <mutex>
#include <string>
#include <thread>
#include <unistd.h>

namespace {

int64_t NowNs()
{
    timespec ts{};
    clock_gettime(CLOCK_MONOTONIC, &ts); // one clock for every process of the machine
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

int64_t CpuNs()
{
    timespec ts{};
    clock_gettime(CLOCK_PROCESS_CPUTIME_ID, &ts);
    return static_cast<int64_t>(ts.tv_sec) * 1000000000LL + ts.tv_nsec;
}

CKeyRecord Record(int i)
{
    unsigned char key[CKeyRecord::kKeyLength];
    for (size_t b = 0; b < sizeof key; ++b) {
        key[b] = static_cast<unsigned char>(i * 31 + static_cast<int>(b));
    }
    char id[16];
    std::snprintf(id, sizeof id, "00A0B0%06X", i);
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(key);
    return record;
}

void Time(const char* what, int count, int reps, const std::function<void()>& body)
{
    CLatencyStats stats;
    const int64_t cpuStart = CpuNs();
    for (int i = 0; i < reps; ++i) {
        const int64_t start = NowNs();
        body();
        stats.Record(NowNs() - start);
    }
    const double cpuMs = static_cast<double>(CpuNs() - cpuStart) / 1e6 / reps;
    std::printf("%-22s %6d keys  cpu %7.2f ms  wall: median %7.2f ms  p95 %7.2f ms  max %7.2f ms\n", what, count, cpuMs,
                static_cast<double>(stats.Percentile(50)) / 1e6, static_cast<double>(stats.Percentile(95)) / 1e6,
                static_cast<double>(stats.Max()) / 1e6);
}

void ListAndRefill(CKeyStore& store, CConsoleTasks& tasks)
{
    CBenchMainView view;
    CMainDialog dialog(tasks, CStorageSystem::Default());
    dialog.OnInitDialog(view);
    int stored = 0;
    for (const int count : {10, 1000, 10000}) {
        for (; stored < count; ++stored) {
            if (store.StoreKey(Record(stored)) != 1) {
                std::fprintf(stderr, "StoreKey failed at %d\n", stored);
                return;
            }
        }
        Time("list registrations", count, 20, [&tasks] { tasks.ListRegistrations(); });
        // The register button with a dialog that ends at once: the refill that follows it.
        Time("refill the main list", count, 20, [&dialog] { dialog.OnCommand(CMainDialog::kRegister); });
        if (view.ItemCount() != static_cast<size_t>(count)) {
            std::fprintf(stderr, "the list holds %zu items, not %d\n", view.ItemCount(), count);
        }
    }
}

// The writer process: one registration per command byte, answering with the times before
// and after it.
int Writer()
{
    CKeyStore store;
    char command;
    int next = 20000;
    while (read(0, &command, 1) == 1) {
        const int64_t before = NowNs();
        store.StoreKey(Record(next++));
        const int64_t times[2] = {before, NowNs()};
        if (write(1, times, sizeof times) != static_cast<ssize_t>(sizeof times)) {
            return 1;
        }
    }
    return 0;
}

// Calls of the watcher, with their times, for the measuring thread to wait on.
class CCallClock
{
public:
    void Called()
    {
        const std::lock_guard lock(m_mutex);
        m_times.push_back(NowNs());
        m_called.notify_all();
    }
    // The time of call number index, or 0 when it does not come within five seconds.
    int64_t WaitFor(size_t index)
    {
        std::unique_lock lock(m_mutex);
        const bool came = m_called.wait_for(lock, std::chrono::seconds(5), [&] { return m_times.size() > index; });
        return came ? m_times[index] : 0;
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_called;
    std::vector<int64_t> m_times;
};

void WatcherDelay(CKeyStore& store, const std::string& self, int trials)
{
    Harness::CChildProcess writer;
    Harness::CChildProcess::SOptions streams;
    streams.input.kind = Harness::SChildStream::EKind::Pipe;
    streams.output.kind = Harness::SChildStream::EKind::Pipe;
    if (!writer.Start({self, "--writer"}, streams)) {
        return;
    }

    CCallClock clock;
    CKeyListWatcher watcher(store, [&clock] { clock.Called(); });
    watcher.Start();
    std::this_thread::sleep_for(std::chrono::milliseconds(200)); // the first watch is armed
    CLatencyStats fromReturn;
    CLatencyStats fromCall;
    int missed = 0;
    for (int i = 0; i <= trials; ++i) {
        int64_t times[2];
        if (!writer.Write("w") || writer.Read(times, sizeof times) != sizeof times) {
            break;
        }
        const int64_t called = clock.WaitFor(static_cast<size_t>(i - missed));
        if (called == 0) {
            ++missed;
        } else if (i > 0) { // the first one only makes sure the watch is armed
            fromCall.Record(called - times[0]);
            fromReturn.Record(called - times[1]);
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(50)); // watched again
    }
    writer.CloseInput();
    writer.WaitExit(10000);
    std::printf("watcher call after another process's StoreKey (%zu trials, %d missed), %d ms pause included:\n",
                fromReturn.Count(), missed, CKeyListWatcher::kPauseMs);
    for (const auto& [what, stats] :
         {std::pair{"from its return", &fromReturn}, std::pair{"from its call", &fromCall}}) {
        std::printf("  %-16s median %8.2f ms  p95 %8.2f ms  max %8.2f ms\n", what,
                    static_cast<double>(stats->Percentile(50)) / 1e6, static_cast<double>(stats->Percentile(95)) / 1e6,
                    static_cast<double>(stats->Max()) / 1e6);
    }
}

} // namespace

int main(int argc, char** argv)
{
    if (argc == 2 && std::string(argv[1]) == "--writer") {
        return Writer();
    }
    setvbuf(stdout, nullptr, _IOLBF, 0);
    std::string directory = argc == 2 ? argv[1] : std::string();
    if (directory.empty()) {
        std::string pattern = (std::filesystem::temp_directory_path() / "corvane-console-bench-XXXXXX").string();
        if (mkdtemp(pattern.data()) == nullptr) {
            return 1;
        }
        directory = pattern;
    }
    // Read by the store of this process and of the writer it starts.
    setenv("CORVANE_STATE_DIR", directory.c_str(), 1);
    char self[4096];
    const ssize_t length = readlink("/proc/self/exe", self, sizeof self - 1);
    if (length <= 0) {
        return 1;
    }
    self[length] = '\0';

    CKeyStore store;
    CConsoleTasks tasks(store);
    tasks.PrepareStore();
    ListAndRefill(store, tasks);
    WatcherDelay(store, self, 20);
    if (argc != 2) {
        std::filesystem::remove_all(directory);
    }
    return 0;
}
