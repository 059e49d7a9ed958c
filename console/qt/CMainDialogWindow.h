#pragma once

#include "console/CMainDialogView.h"
#include "console/qt/CLayoutDialog.h"

#include <vector>

class CMainDialog;
class QMenu;
class QTreeWidget;

// The main dialog's window. Linux window managers give a program no system menu, so its
// items are offered in the dialog's context menu and under their mnemonics (Alt+A).
class CMainDialogWindow : public CDialogWindow<CMainDialogView>
{
public:
    CMainDialogWindow(CMainDialog& behaviour, CModalRunner& runner);

    void AddSystemMenuItem(unsigned commandId, const std::string& text) override;
    void SetListColumn(const std::string& header) override;
    void SetListItems(const std::vector<std::string>& items) override;
    std::vector<std::string> SelectedListItems() override;

    void RunRegisterDialog(CRegisterDialog& dialog) override;
    void RunPortDialog(CPortDialog& dialog) override;
    void RunCooperationDialog(CCooperationDialog& dialog) override;
    void RunCopyDialog(CCopyDialog& dialog) override;
    void RunAboutDialog() override;

    void PostToUiThread(std::function<void()> work) override;

protected:
    void contextMenuEvent(QContextMenuEvent* event) override;

private:
    QTreeWidget& List() const;

    CMainDialog& m_behaviour;
    QMenu* m_systemMenu = nullptr;
};
