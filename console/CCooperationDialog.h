#pragma once

class CConsoleTasks;
class CCooperationDialogView;

// The behaviour of the cooperation dialog: permission with a password, or none.
class CCooperationDialog
{
public:
    static constexpr int kDialogId = 132;
    static constexpr int kPassword = 1009;
    static constexpr int kPermit = 1010;
    static constexpr int kForbid = 1011;
    static constexpr int kConfirmation = 1012;
    static constexpr int kPasswordLimit = 20;

    explicit CCooperationDialog(CConsoleTasks& tasks) : m_tasks(tasks) {}

    // Shows the stored password in both fields and the permission it stands for.
    void OnInitDialog(CCooperationDialogView& view);
    // "設定": closes the dialog, without a message, once the password is stored.
    void OnOK();

private:
    CConsoleTasks& m_tasks;
    CCooperationDialogView* m_view = nullptr;
};
