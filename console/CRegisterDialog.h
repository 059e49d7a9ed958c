#pragma once

#include "console/lockkey/CLockKeyScanner.h"

class CConsoleTasks;
class CRegisterDialogView;
class CStorageSystem;

// The behaviour of the register dialog: the lock keys found when it opened, and the
// registration of the chosen one.
class CRegisterDialog
{
public:
    static constexpr int kDialogId = 102;
    static constexpr int kLockKeys = 1005;

    CRegisterDialog(CConsoleTasks& tasks, const CStorageSystem& storage);

    void OnInitDialog(CRegisterDialogView& view);
    // "登録": closes the dialog once the key is stored, or when the lock key is corrupt.
    void OnOK();

private:
    CConsoleTasks& m_tasks;
    CLockKeyScanner m_scanner;
    CRegisterDialogView* m_view = nullptr;
};
