#pragma once

#include "console/CDialogView.h"

#include <string>
#include <vector>

// The register dialog's window: its combo box of lock keys.
class CRegisterDialogView : public CDialogView
{
public:
    // Replaces the items of the combo box; nothing is selected afterwards.
    virtual void SetComboItems(const std::vector<std::string>& items) = 0;
    virtual void SelectComboItem(int index) = 0;
    // The index of the selected item, -1 when none is.
    virtual int SelectedComboItem() = 0;
};
