#pragma once

#include "console/CMainDialogView.h"

#include <string>
#include <vector>

// A main window that keeps the list as a list control would (a copy of every text) and
// opens task dialogs that end at once.
class CBenchMainView : public CMainDialogView
{
public:
    std::string GetControlText(int) override { return {}; }
    void SetControlText(int, const std::string&) override {}
    EMessageAnswer ShowMessage(const SConsoleMessage&) override { return EMessageAnswer::No; }
    void EndDialog(EDialogResult) override {}
    void SetWaitCursor(bool) override {}
    void AddSystemMenuItem(unsigned, const std::string&) override {}
    void SetListColumn(const std::string&) override {}
    void SetListItems(const std::vector<std::string>& items) override;
    std::vector<std::string> SelectedListItems() override { return {}; }
    void RunRegisterDialog(CRegisterDialog&) override {}
    void RunPortDialog(CPortDialog&) override {}
    void RunCooperationDialog(CCooperationDialog&) override {}
    void RunCopyDialog(CCopyDialog&) override {}
    void RunAboutDialog() override {}
    void PostToUiThread(std::function<void()>) override {}

    size_t ItemCount() const { return m_items.size(); }

private:
    std::vector<std::string> m_items;
};
