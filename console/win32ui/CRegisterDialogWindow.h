#pragma once

#include "console/CRegisterDialogView.h"
#include "console/win32ui/CWin32Dialog.h"

// The register dialog's window: its combo box of lock keys.
class CRegisterDialogWindow : public CWin32DialogWindow<CRegisterDialogView>
{
public:
    CRegisterDialogWindow();

    void SetComboItems(const std::vector<std::string>& items) override;
    void SelectComboItem(int index) override;
    int SelectedComboItem() override;

private:
    HWND Combo() const;
};
