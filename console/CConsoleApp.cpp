#include "CConsoleApp.h"

#include "console/CConsoleTasks.h"
#include "console/CMainDialog.h"
#include "console/CStartupView.h"

CConsoleApp::CConsoleApp(CConsoleTasks& tasks, const CStorageSystem& storage, std::string lockName)
    : m_tasks(tasks), m_storage(storage), m_lock(std::move(lockName))
{}

EStartOutcome CConsoleApp::Start()
{
    switch (m_lock.Acquire()) {
    case ELockOutcome::HeldElsewhere:
        return EStartOutcome::AlreadyRunning;
    case ELockOutcome::CreateFailed:
        return EStartOutcome::LockFailed;
    case ELockOutcome::Acquired:
        break;
    }
    if (!m_tasks.MayChangeStore()) {
        return EStartOutcome::NotAdministrator;
    }
    return m_tasks.StoreIsForeign() ? EStartOutcome::ForeignStore : EStartOutcome::Admitted;
}

void CConsoleApp::Run(CStartupView& view)
{
    switch (Start()) {
    case EStartOutcome::AlreadyRunning:
    case EStartOutcome::LockFailed:
        return;
    case EStartOutcome::NotAdministrator:
        view.ShowMessage(SConsoleMessage::Of(IDS_NOT_ADMINISTRATOR, EMessageStyle::Error));
        return;
    case EStartOutcome::ForeignStore:
        view.ShowMessage(SConsoleMessage::Of(IDS_FOREIGN_STORE, EMessageStyle::Error));
        return;
    case EStartOutcome::Admitted:
        break;
    }
    CMainDialog dialog(m_tasks, m_storage);
    view.RunMainDialog(dialog);
}
