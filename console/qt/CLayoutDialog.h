#pragma once

#include <QDialog>
#include <QString>
#include <stdexcept>
#include <string>

// A dialog made from its template, whose controls are reached by their identifiers.
class CLayoutDialog : public QDialog
{
public:
    CLayoutDialog(int resourceId, QWidget* parent);

    int ResourceId() const { return m_resourceId; }

    // The control with that identifier; throws std::out_of_range when the dialog has none
    // of that type.
    template <class T> T& Control(int id) const
    {
        T* control = findChild<T*>(QString::number(id), Qt::FindDirectChildrenOnly);
        if (control == nullptr)
            throw std::out_of_range("dialog " + std::to_string(m_resourceId) + " has no control " + std::to_string(id));
        return *control;
    }

    // The text of an edit, combo box, button or label, as UTF-8.
    std::string ControlText(int id) const;
    void SetControlText(int id, const std::string& text);

protected:
    // Button 1; button 2, Escape and the close box cancel without any action.
    virtual void OnAccept() { accept(); }

private:
    int m_resourceId;
};
