#pragma once

#include "console/CDialogView.h"

#include <QDialog>
#include <QString>
#include <functional>
#include <stdexcept>
#include <string>

class CModalRunner;

// A dialog made from its template, whose controls are reached by their identifiers, and
// what every console window offers its behaviour: texts by identifier, message boxes, the
// end of its modal run and the wait cursor.
class CLayoutDialog : public QDialog
{
public:
    CLayoutDialog(int resourceId, QWidget* parent, CModalRunner& runner);

    // The control with that identifier; throws std::out_of_range when the dialog has none
    // of that type.
    template <class T> T& Control(int id) const
    {
        T* control = findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
        if (control == nullptr)
            throw std::out_of_range("dialog " + objectName().toStdString() + " has no control " + std::to_string(id));
        return *control;
    }

    // The text of an edit, combo box, button or label, as UTF-8.
    std::string ControlText(int id) const;
    void SetControlText(int id, const std::string& text);
    EMessageAnswer Message(const SConsoleMessage& message);
    void End(EDialogResult result);
    static void SetWaitCursor(bool waiting);

    // What button 1 does; without a handler it accepts. Button 2, Escape and the close box
    // cancel without any action.
    void SetAcceptHandler(std::function<void()> handler) { m_accept = std::move(handler); }

protected:
    CModalRunner& Runner() const { return m_runner; }

private:
    CModalRunner& m_runner;
    std::function<void()> m_accept;
};

// A console window as the view its behaviour drives.
template <class TView> class CDialogWindow : public CLayoutDialog, public TView
{
public:
    using CLayoutDialog::CLayoutDialog;

    std::string GetControlText(int controlId) override { return ControlText(controlId); }
    void SetControlText(int controlId, const std::string& text) override
    {
        CLayoutDialog::SetControlText(controlId, text);
    }
    EMessageAnswer ShowMessage(const SConsoleMessage& message) override { return Message(message); }
    void EndDialog(EDialogResult result) override { End(result); }
    void SetWaitCursor(bool waiting) override { CLayoutDialog::SetWaitCursor(waiting); }
};
