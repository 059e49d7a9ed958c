#include "console/qt/CRegisterDialogWindow.h"

#include "console/CRegisterDialog.h"
#include "console/qt/DialogLayouts.h"

#include <QComboBox>

CRegisterDialogWindow::CRegisterDialogWindow(QWidget* parent, CModalRunner& runner)
    : CDialogWindow(DialogResource::kRegister, parent, runner)
{}

void CRegisterDialogWindow::SetComboItems(const std::vector<std::string>& items)
{
    QComboBox& combo = Combo();
    // Disabled while it fills, so that no half-filled list can be chosen from.
    combo.setEnabled(false);
    combo.clear();
    for (const std::string& item : items)
        combo.addItem(QString::fromStdString(item));
    combo.setCurrentIndex(-1);
    combo.setEnabled(true);
}

void CRegisterDialogWindow::SelectComboItem(int index)
{
    Combo().setCurrentIndex(index);
}

// The item the edit field shows; text typed into the field that matches no item selects
// nothing.
int CRegisterDialogWindow::SelectedComboItem()
{
    const QComboBox& combo = Combo();
    if (combo.currentIndex() >= 0 && combo.itemText(combo.currentIndex()) == combo.currentText())
        return combo.currentIndex();
    return combo.findText(combo.currentText(), Qt::MatchExactly);
}

QComboBox& CRegisterDialogWindow::Combo() const
{
    return Control<QComboBox>(CRegisterDialog::kLockKeys);
}
