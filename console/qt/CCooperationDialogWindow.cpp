#include "console/qt/CCooperationDialogWindow.h"

#include "console/qt/DialogLayouts.h"

#include <QLineEdit>
#include <QRadioButton>

CCooperationDialogWindow::CCooperationDialogWindow(QWidget* parent, CModalRunner& runner)
    : CDialogWindow(DialogResource::kCooperation, parent, runner)
{}

void CCooperationDialogWindow::SetTextLimit(int controlId, int characters)
{
    Control<QLineEdit>(controlId).setMaxLength(characters);
}

void CCooperationDialogWindow::CheckRadioButton(int firstId, int lastId, int checkedId)
{
    for (int id = firstId; id <= lastId; ++id) {
        auto& button = Control<QRadioButton>(id);
        // Exclusive buttons refuse to be unchecked one by one; check the chosen one alone.
        button.setAutoExclusive(false);
        button.setChecked(id == checkedId);
        button.setAutoExclusive(true);
    }
}

int CCooperationDialogWindow::CheckedRadioButton(int firstId, int lastId)
{
    for (int id = firstId; id <= lastId; ++id) {
        if (Control<QRadioButton>(id).isChecked())
            return id;
    }
    return 0;
}
