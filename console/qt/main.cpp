// Halvard, the key server's administration console.
#include "console/CConsoleApp.h"
#include "console/CConsoleTasks.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/qt/CConsoleApplication.h"
#include "console/qt/CExecModalRunner.h"
#include "console/qt/CQtStartupView.h"
#include "control/ServiceQueries.h"
#include "settings/CKeyStore.h"

#include <QApplication>
#include <csignal>

int main(int argc, char** argv)
{
    // A key server that closes during a copy must not end the console.
    std::signal(SIGPIPE, SIG_IGN);
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
