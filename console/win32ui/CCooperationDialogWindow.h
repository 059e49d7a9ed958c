#pragma once

#include "console/CCooperationDialogView.h"
#include "console/win32ui/CWin32Dialog.h"

// The cooperation dialog's window: its password fields and its two radio buttons.
class CCooperationDialogWindow : public CWin32DialogWindow<CCooperationDialogView>
{
public:
    CCooperationDialogWindow();

    void SetTextLimit(int controlId, int characters) override;
    void CheckRadioButton(int firstId, int lastId, int checkedId) override;
    int CheckedRadioButton(int firstId, int lastId) override;
};
