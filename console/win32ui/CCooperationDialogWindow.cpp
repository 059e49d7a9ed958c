#include "console/win32ui/CCooperationDialogWindow.h"

#include "console/CCooperationDialog.h"

CCooperationDialogWindow::CCooperationDialogWindow() : CWin32DialogWindow(CCooperationDialog::kDialogId) {}

void CCooperationDialogWindow::SetTextLimit(int controlId, int characters)
{
    SendMessageW(Control(controlId), EM_SETLIMITTEXT, static_cast<WPARAM>(characters), 0);
}

void CCooperationDialogWindow::CheckRadioButton(int firstId, int lastId, int checkedId)
{
    ::CheckRadioButton(Window(), firstId, lastId, checkedId);
}

int CCooperationDialogWindow::CheckedRadioButton(int firstId, int lastId)
{
    for (int id = firstId; id <= lastId; ++id) {
        if (IsDlgButtonChecked(Window(), id) == BST_CHECKED) {
            return id;
        }
    }
    return 0;
}
