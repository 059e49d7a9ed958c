#pragma once

#include "console/CRegisterDialogView.h"
#include "console/qt/CLayoutDialog.h"

class QComboBox;

// The register dialog's window: the lock keys in its combo box.
class CRegisterDialogWindow : public CDialogWindow<CRegisterDialogView>
{
public:
    CRegisterDialogWindow(QWidget* parent, CModalRunner& runner);

    void SetComboItems(const std::vector<std::string>& items) override;
    void SelectComboItem(int index) override;
    int SelectedComboItem() override;

private:
    QComboBox& Combo() const;
};
