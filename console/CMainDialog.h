#pragma once

#include "console/CKeyListWatcher.h"
#include "console/ConsoleStrings.h"

#include <memory>

class CConsoleTasks;
class CMainDialogView;
class CStorageSystem;

// The behaviour of the console's main dialog: the list of registrations, the port and the
// cooperation state, and the tasks its buttons start. Its watcher refills the list about one
// second after any change of the registrations.
class CMainDialog
{
public:
    static constexpr int kDialogId = 101;
    static constexpr int kList = 1001;
    static constexpr int kRegister = 1002;
    static constexpr int kDelete = 1003;
    static constexpr int kPortText = 1004;
    static constexpr int kChangePort = 1005;
    static constexpr int kCooperationText = 1006;
    static constexpr int kChangeCooperation = 1007;
    static constexpr int kCopy = 1008;
    static constexpr unsigned kAboutCommand = 16;

    CMainDialog(CConsoleTasks& tasks, const CStorageSystem& storage);
    ~CMainDialog();
    CMainDialog(const CMainDialog&) = delete;
    CMainDialog& operator=(const CMainDialog&) = delete;

    // Once the window exists; the window is used until OnDestroy.
    void OnInitDialog(CMainDialogView& view);
    // A button was clicked; false for a control that has no task.
    bool OnCommand(int controlId);
    // A system-menu command; false when the window's default handling applies.
    bool OnSystemCommand(unsigned command);
    // Before the window goes: stops the watcher, so nothing is posted to it any more.
    void OnDestroy();

private:
    void Register();
    void Delete();
    void ChangePort();
    void ChangeCooperation();
    void Copy();
    void RefillList();
    void ShowPort();
    void ShowCooperation();
    void ShowError(EStringId id);

    CConsoleTasks& m_tasks;
    const CStorageSystem& m_storage;
    CMainDialogView* m_view = nullptr;
    std::unique_ptr<CKeyListWatcher> m_watcher;
};
