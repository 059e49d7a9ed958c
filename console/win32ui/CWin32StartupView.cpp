#include "console/win32ui/CWin32StartupView.h"

#include "console/CMainDialog.h"
#include "console/win32ui/CMainDialogWindow.h"
#include "console/win32ui/ConsoleMessageBox.h"

EMessageAnswer CWin32StartupView::ShowMessage(const SConsoleMessage& message)
{
    return ShowConsoleMessage(nullptr, message);
}

void CWin32StartupView::RunMainDialog(CMainDialog& dialog)
{
    // The window calls the behaviour's OnDestroy while it is being destroyed.
    CMainDialogWindow window(dialog);
    window.Run(nullptr, [&window, &dialog] { dialog.OnInitDialog(window); });
}
