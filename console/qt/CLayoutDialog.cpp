#include "console/qt/CLayoutDialog.h"

#include "console/qt/CConsoleMessageBox.h"
#include "console/qt/CDialogBuilder.h"
#include "console/qt/CModalRunner.h"
#include "console/qt/DialogLayouts.h"

#include <QAbstractButton>
#include <QApplication>
#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>

CLayoutDialog::CLayoutDialog(int resourceId, QWidget* parent, CModalRunner& runner) : QDialog(parent), m_runner(runner)
{
    CDialogBuilder::Build(*this, FindDialogLayout(resourceId));
    connect(&Control<QPushButton>(1), &QPushButton::clicked, this, [this] { m_accept ? m_accept() : accept(); });
    if (auto* cancel = findChild<QPushButton*>(QStringLiteral("2"), Qt::FindDirectChildrenOnly))
        connect(cancel, &QPushButton::clicked, this, &QDialog::reject);
}

std::string CLayoutDialog::ControlText(int id) const
{
    const QWidget& control = Control<QWidget>(id);
    QString text;
    if (const auto* edit = qobject_cast<const QLineEdit*>(&control))
        text = edit->text();
    else if (const auto* combo = qobject_cast<const QComboBox*>(&control))
        text = combo->currentText();
    else if (const auto* button = qobject_cast<const QAbstractButton*>(&control))
        text = button->text();
    else if (const auto* label = qobject_cast<const QLabel*>(&control))
        text = label->text();
    return text.toStdString();
}

void CLayoutDialog::SetControlText(int id, const std::string& text)
{
    QWidget& control = Control<QWidget>(id);
    const QString value = QString::fromStdString(text);
    if (auto* edit = qobject_cast<QLineEdit*>(&control))
        edit->setText(value);
    else if (auto* combo = qobject_cast<QComboBox*>(&control))
        combo->setEditText(value);
    else if (auto* button = qobject_cast<QAbstractButton*>(&control))
        button->setText(value);
    else if (auto* label = qobject_cast<QLabel*>(&control))
        label->setText(value);
}

EMessageAnswer CLayoutDialog::Message(const SConsoleMessage& message)
{
    return CConsoleMessageBox::Show(this, message, m_runner);
}

void CLayoutDialog::End(EDialogResult result)
{
    done(result == EDialogResult::Accepted ? Accepted : Rejected);
}

void CLayoutDialog::SetWaitCursor(bool waiting)
{
    if (!waiting) {
        QApplication::restoreOverrideCursor();
        return;
    }
    QApplication::setOverrideCursor(Qt::WaitCursor);
    // The work that follows blocks this thread: hand the cursor to the window system now.
    QApplication::processEvents(QEventLoop::ExcludeUserInputEvents);
}
