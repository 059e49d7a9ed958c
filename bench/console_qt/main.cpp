// Usage: corvane_console_qt_bench [registrations]   (default 10000)
// Times the console's main dialog on a fresh store below /tmp holding that many
// registrations: opening it (widgets, initialisation with the list, first paint) and
// refilling its list (load from the store, fill the list, paint). Offscreen unless
// QT_QPA_PLATFORM names another platform. Prints the figures; asserts nothing.
#include "console/CConsoleTasks.h"
#include "console/CMainDialog.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/qt/CConsoleApplication.h"
#include "console/qt/CExecModalRunner.h"
#include "console/qt/CMainDialogWindow.h"
#include "settings/CKeyStore.h"

#include <QApplication>
#include <algorithm>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <functional>
#include <memory>
#include <string>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

double MsSince(Clock::time_point start)
{
    return std::chrono::duration<double, std::milli>(Clock::now() - start).count();
}

struct SPhases
{
    std::vector<double> samples[3];
};

void Print(const char* what, const char* const (&names)[3], SPhases& phases)
{
    std::printf("%s (median of %zu):", what, phases.samples[0].size());
    double total = 0;
    for (int i = 0; i < 3; ++i) {
        auto& samples = phases.samples[i];
        std::sort(samples.begin(), samples.end());
        const double median = samples[samples.size() / 2];
        total += median;
        std::printf("  %s %.1f ms", names[i], median);
    }
    std::printf("  = %.1f ms\n", total);
}

bool FillStore(int count)
{
    CKeyStore store;
    if (store.CreateLayout() != 1)
        return false;
    unsigned char key[CKeyRecord::kKeyLength] = {};
    for (int i = 0; i < count; ++i) {
        char id[16];
        std::snprintf(id, sizeof id, "00A0%08X", static_cast<unsigned>(i));
        key[0] = static_cast<unsigned char>(i);
        CKeyRecord record;
        record.SetId(id);
        record.SetKey(key);
        if (store.StoreKey(record) != 1)
            return false;
    }
    return true;
}

void Paint(QWidget& window)
{
    window.repaint();
    QApplication::processEvents();
}

} // namespace

int main(int argc, char** argv)
{
    const int count = argc >= 2 ? std::atoi(argv[1]) : 10000;
    char pattern[] = "/tmp/corvane-console-bench-XXXXXX";
    if (mkdtemp(pattern) == nullptr)
        return 1;
    setenv("CORVANE_STATE_DIR", (std::string(pattern) + "/state").c_str(), 1);
    setenv("QT_QPA_PLATFORM", "offscreen", 0);
    std::printf("filling a store with %d registrations...\n", count);
    if (!FillStore(count)) {
        std::fprintf(stderr, "cannot fill the store\n");
        return 1;
    }

    QApplication application(argc, argv);
    CConsoleApplication::Prepare();
    CKeyStore store;
    CConsoleTasks tasks(store);
    CExecModalRunner runner;
    constexpr int kReps = 10;

    SPhases open;
    for (int rep = 0; rep < kReps; ++rep) {
        CMainDialog dialog(tasks, CStorageSystem::Default());
        auto start = Clock::now();
        auto window = std::make_unique<CMainDialogWindow>(dialog, runner);
        open.samples[0].push_back(MsSince(start));
        start = Clock::now();
        dialog.OnInitDialog(*window);
        open.samples[1].push_back(MsSince(start));
        start = Clock::now();
        window->show();
        Paint(*window);
        open.samples[2].push_back(MsSince(start));
        dialog.OnDestroy();
    }
    Print("open the main dialog", {"widgets", "initialise", "show"}, open);

    CMainDialog dialog(tasks, CStorageSystem::Default());
    CMainDialogWindow window(dialog, runner);
    dialog.OnInitDialog(window);
    window.show();
    Paint(window);
    SPhases refill;
    for (int rep = 0; rep < kReps; ++rep) {
        auto start = Clock::now();
        const std::vector<std::string> items = tasks.ListRegistrations();
        refill.samples[0].push_back(MsSince(start));
        start = Clock::now();
        window.SetListItems(items);
        refill.samples[1].push_back(MsSince(start));
        start = Clock::now();
        Paint(window);
        refill.samples[2].push_back(MsSince(start));
    }
    Print("refill its list", {"load", "fill", "paint"}, refill);
    dialog.OnDestroy();

    std::error_code ignored;
    std::filesystem::remove_all(pattern, ignored);
    return 0;
}
