// Halvard, the key server's administration console.
#include "console/CConsoleApp.h"
#include "console/CConsoleTasks.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/qt/CConsoleApplication.h"
#include "console/qt/CExecModalRunner.h"
#include "console/qt/CQtStartupView.h"
#include "control/ServiceQueries.h"
#include "platform/ProgramInfo.h"
#include "settings/CKeyStore.h"

#include <QApplication>
#include <csignal>
#include <cstdlib>
#include <iostream>
#include <string_view>

namespace {

constexpr const char* kUsage = "Usage: Halvard\n"
                               "The administrator's console of the Corvane key server (Qt 6, Japanese user\n"
                               "interface): registers lock keys from their sticks, deletes registrations, sets the\n"
                               "service's port and the cooperation password, copies keys to another key server.\n"
                               "It needs a display and a user who may change the key store (root). Beside Qt's own\n"
                               "options (-platform NAME, ...) it takes none. See Halvard(1); from a terminal\n"
                               "without a display, corvane-admin(8) does the same tasks.\n"
                               "  --help     show this text\n"
                               "  --version  show the version\n";

bool HasText(const char* variable)
{
    const char* value = std::getenv(variable);
    return value != nullptr && *value != '\0';
}

// Qt ends a program that finds no display with an abort (and a core dump); say instead
// what is missing. A platform named explicitly (offscreen, vnc, ...) needs none.
bool DisplayNamed(int argc, char** argv)
{
    for (int i = 1; i < argc; ++i) {
        if (std::string_view(argv[i]) == "-platform") {
            return true;
        }
    }
    return HasText("QT_QPA_PLATFORM") || HasText("DISPLAY") || HasText("WAYLAND_DISPLAY");
}

} // namespace

int main(int argc, char** argv)
{
    // A key server that closes during a copy must not end the console.
    std::signal(SIGPIPE, SIG_IGN);
    // Before Qt: these need no display and open nothing.
    if (const auto text = argc > 1 ? InfoText(argv[1], kUsage, "Halvard") : std::nullopt) {
        std::cout << *text;
        return 0;
    }
    if (!DisplayNamed(argc, argv)) {
        std::cerr << "Halvard: no display (neither DISPLAY nor WAYLAND_DISPLAY is set): run it in a desktop "
                     "session (as root: sudo -E Halvard), or use corvane-admin on a terminal\n";
        return 1;
    }
    QApplication application(argc, argv);
    CConsoleApplication::Prepare();

    CKeyStore store;
    // A changed port takes the firewall opening of the service along.
    CConsoleTasks tasks(store, [](uint16_t port) { FollowServicePort(port); });
    CConsoleApp console(tasks, CStorageSystem::Default());
    CExecModalRunner runner;
    CQtStartupView view(runner);
    console.Run(view);
    return 0;
}
