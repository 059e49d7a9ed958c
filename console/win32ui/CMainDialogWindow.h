#pragma once

#include "console/CMainDialogView.h"
#include "console/win32ui/CWin32Dialog.h"

#include <deque>
#include <mutex>

class CMainDialog;

// The main dialog's window: its list view of registrations, its system menu, and the
// private message (the first application message plus one) by which work from other
// threads reaches the user-interface thread.
class CMainDialogWindow : public CWin32DialogWindow<CMainDialogView>
{
public:
    static constexpr UINT kPostedWorkMessage = WM_APP + 1;

    explicit CMainDialogWindow(CMainDialog& behaviour);

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
    void OnCreated() override;
    bool OnControlCommand(int id, int notification) override;
    bool OnMessage(UINT message, WPARAM wParam, LPARAM lParam, INT_PTR& result) override;

private:
    void RunPostedWork();
    HWND List() const;

    CMainDialog& m_behaviour;
    HICON m_icon = nullptr;
    std::mutex m_postedMutex;
    std::deque<std::function<void()>> m_posted;
};
