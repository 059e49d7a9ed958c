#include "console/qt/CMainDialogWindow.h"

#include "console/CCooperationDialog.h"
#include "console/CCopyDialog.h"
#include "console/CMainDialog.h"
#include "console/CPortDialog.h"
#include "console/CRegisterDialog.h"
#include "console/qt/CConsoleImages.h"
#include "console/qt/CCooperationDialogWindow.h"
#include "console/qt/CModalRunner.h"
#include "console/qt/CRegisterDialogWindow.h"
#include "console/qt/DialogLayouts.h"

#include <QContextMenuEvent>
#include <QHeaderView>
#include <QMenu>
#include <QPushButton>
#include <QShortcut>
#include <QTreeWidget>

namespace {

// Opens a task dialog's window, lets its behaviour initialise it and runs it modally.
template <class TWindow, class TDialog> void RunTask(CModalRunner& runner, TWindow& window, TDialog& dialog)
{
    dialog.OnInitDialog(window);
    window.SetAcceptHandler([&dialog] { dialog.OnOK(); });
    runner.Run(window);
}

} // namespace

CMainDialogWindow::CMainDialogWindow(CMainDialog& behaviour, CModalRunner& runner)
    : CDialogWindow(DialogResource::kMain, nullptr, runner), m_behaviour(behaviour)
{
    setWindowIcon(CConsoleImages::ApplicationIcon());
    for (QPushButton* button : findChildren<QPushButton*>(QString(), Qt::FindDirectChildrenOnly)) {
        const int id = button->objectName().toInt();
        if (id != 1 && id != 2)
            connect(button, &QPushButton::clicked, this, [this, id] { m_behaviour.OnCommand(id); });
    }
}

void CMainDialogWindow::AddSystemMenuItem(unsigned commandId, const std::string& text)
{
    const QString label = QString::fromStdString(text);
    if (m_systemMenu == nullptr)
        m_systemMenu = new QMenu(this);
    m_systemMenu->addSeparator();
    m_systemMenu->addAction(label, this, [this, commandId] { m_behaviour.OnSystemCommand(commandId); });
    const QKeySequence mnemonic = QKeySequence::mnemonic(label);
    if (!mnemonic.isEmpty()) {
        connect(new QShortcut(mnemonic, this), &QShortcut::activated, this,
                [this, commandId] { m_behaviour.OnSystemCommand(commandId); });
    }
}

void CMainDialogWindow::SetListColumn(const std::string& header)
{
    List().setHeaderLabels({QString::fromStdString(header)});
    List().header()->resizeSection(0, List().width() - 20);
}

void CMainDialogWindow::SetListItems(const std::vector<std::string>& items)
{
    QList<QTreeWidgetItem*> rows;
    rows.reserve(static_cast<qsizetype>(items.size()));
    for (const std::string& item : items)
        rows.append(new QTreeWidgetItem(QStringList{QString::fromStdString(item)}));
    QTreeWidget& list = List();
    list.clear();
    list.addTopLevelItems(rows);
}

std::vector<std::string> CMainDialogWindow::SelectedListItems()
{
    QTreeWidget& list = List();
    std::vector<std::string> selected;
    for (int row = 0; row < list.topLevelItemCount(); ++row) {
        const QTreeWidgetItem* item = list.topLevelItem(row);
        if (item->isSelected())
            selected.push_back(item->text(0).toStdString());
    }
    return selected;
}

void CMainDialogWindow::RunRegisterDialog(CRegisterDialog& dialog)
{
    CRegisterDialogWindow window(this, Runner());
    RunTask(Runner(), window, dialog);
}

void CMainDialogWindow::RunPortDialog(CPortDialog& dialog)
{
    CDialogWindow<CDialogView> window(DialogResource::kPort, this, Runner());
    RunTask(Runner(), window, dialog);
}

void CMainDialogWindow::RunCooperationDialog(CCooperationDialog& dialog)
{
    CCooperationDialogWindow window(this, Runner());
    RunTask(Runner(), window, dialog);
}

void CMainDialogWindow::RunCopyDialog(CCopyDialog& dialog)
{
    CDialogWindow<CDialogView> window(DialogResource::kCopy, this, Runner());
    RunTask(Runner(), window, dialog);
}

void CMainDialogWindow::RunAboutDialog()
{
    CLayoutDialog window(DialogResource::kAbout, this, Runner());
    Runner().Run(window);
}

void CMainDialogWindow::PostToUiThread(std::function<void()> work)
{
    // Queued on this window: run in posting order, dropped with the window.
    QMetaObject::invokeMethod(this, std::move(work), Qt::QueuedConnection);
}

void CMainDialogWindow::contextMenuEvent(QContextMenuEvent* event)
{
    if (m_systemMenu == nullptr)
        return QDialog::contextMenuEvent(event);
    m_systemMenu->popup(event->globalPos());
}

QTreeWidget& CMainDialogWindow::List() const
{
    return Control<QTreeWidget>(CMainDialog::kList);
}
