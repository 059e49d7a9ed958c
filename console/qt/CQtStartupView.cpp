#include "console/qt/CQtStartupView.h"

#include "console/CMainDialog.h"
#include "console/qt/CConsoleMessageBox.h"
#include "console/qt/CMainDialogWindow.h"
#include "console/qt/CModalRunner.h"

EMessageAnswer CQtStartupView::ShowMessage(const SConsoleMessage& message)
{
    return CConsoleMessageBox::Show(nullptr, message, m_runner);
}

void CQtStartupView::RunMainDialog(CMainDialog& dialog)
{
    CMainDialogWindow window(dialog, m_runner);
    dialog.OnInitDialog(window);
    m_runner.Run(window);
    dialog.OnDestroy();
}
