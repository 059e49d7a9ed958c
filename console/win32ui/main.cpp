// Halvard, the key server's administration console: native dialogs from the program's
// resources over the console's behaviour.
#include "console/CConsoleApp.h"
#include "console/CConsoleTasks.h"
#include "console/lockkey/CStorageSystem.h"
#include "console/win32ui/CWin32StartupView.h"
#include "platform/win32/Win32.h"
#include "settings/CKeyStore.h"

#include <commctrl.h>

int WINAPI wWinMain(HINSTANCE /*instance*/, HINSTANCE /*previous*/, PWSTR /*commandLine*/, int /*show*/)
{
    INITCOMMONCONTROLSEX controls{sizeof controls, ICC_LISTVIEW_CLASSES | ICC_STANDARD_CLASSES};
    InitCommonControlsEx(&controls);
    CKeyStore store;
    // Firewall rules on Windows are per program: a changed port needs nothing more.
    CConsoleTasks tasks(store);
    CConsoleApp console(tasks, CStorageSystem::Default());
    CWin32StartupView view;
    console.Run(view);
    return 0;
}
