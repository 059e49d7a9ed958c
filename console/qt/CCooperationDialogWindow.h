#pragma once

#include "console/CCooperationDialogView.h"
#include "console/qt/CLayoutDialog.h"

// The cooperation dialog's window: its password fields and its two radio buttons.
class CCooperationDialogWindow : public CDialogWindow<CCooperationDialogView>
{
public:
    CCooperationDialogWindow(QWidget* parent, CModalRunner& runner);

    void SetTextLimit(int controlId, int characters) override;
    void CheckRadioButton(int firstId, int lastId, int checkedId) override;
    int CheckedRadioButton(int firstId, int lastId) override;
};
