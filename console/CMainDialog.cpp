#include "CMainDialog.h"

#include "console/CConsoleTasks.h"
#include "console/CCooperationDialog.h"
#include "console/CCopyDialog.h"
#include "console/CMainDialogView.h"
#include "console/CPortDialog.h"
#include "console/CRegisterDialog.h"

CMainDialog::CMainDialog(CConsoleTasks& tasks, const CStorageSystem& storage) : m_tasks(tasks), m_storage(storage) {}

CMainDialog::~CMainDialog()
{
    OnDestroy();
}

void CMainDialog::OnInitDialog(CMainDialogView& view)
{
    m_view = &view;
    const std::string aboutItem(LoadConsoleString(IDS_ABOUTBOX));
    if (!aboutItem.empty()) {
        m_view->AddSystemMenuItem(kAboutCommand, aboutItem);
    }
    m_tasks.PrepareStore();
    m_view->SetListColumn(std::string(LoadConsoleString(IDS_LIST_HEADER)));
    RefillList();
    ShowPort();
    ShowCooperation();
    // The watcher's call comes on its own thread; the refill runs on the window's.
    m_watcher = m_tasks.WatchRegistrations([this] { m_view->PostToUiThread([this] { RefillList(); }); });
}

bool CMainDialog::OnCommand(int controlId)
{
    switch (controlId) {
    case kRegister:
        Register();
        return true;
    case kDelete:
        Delete();
        return true;
    case kChangePort:
        ChangePort();
        return true;
    case kChangeCooperation:
        ChangeCooperation();
        return true;
    case kCopy:
        Copy();
        return true;
    default:
        return false;
    }
}

bool CMainDialog::OnSystemCommand(unsigned command)
{
    if ((command & 0xFFF0u) != kAboutCommand) {
        return false;
    }
    m_view->RunAboutDialog();
    return true;
}

void CMainDialog::OnDestroy()
{
    m_watcher.reset();
}

void CMainDialog::Register()
{
    CRegisterDialog dialog(m_tasks, m_storage);
    m_view->RunRegisterDialog(dialog);
    RefillList();
}

void CMainDialog::Delete()
{
    const std::vector<std::string> selected = m_view->SelectedListItems();
    if (selected.empty()) {
        ShowError(IDS_NOTHING_SELECTED);
        return;
    }
    if (m_view->ShowMessage(SConsoleMessage::Of(IDS_DELETE_CONFIRM, EMessageStyle::Question)) == EMessageAnswer::Yes) {
        if (m_tasks.DeleteRegistrations(selected).outcome == EDeleteOutcome::Deleted) {
            m_view->ShowMessage(SConsoleMessage::Of(IDS_DELETE_DONE, EMessageStyle::Notice));
        } else {
            ShowError(IDS_DELETE_FAILED);
        }
    }
    RefillList();
}

void CMainDialog::ChangePort()
{
    CPortDialog dialog(m_tasks);
    m_view->RunPortDialog(dialog);
    ShowPort();
}

void CMainDialog::ChangeCooperation()
{
    CCooperationDialog dialog(m_tasks);
    m_view->RunCooperationDialog(dialog);
    ShowCooperation();
}

void CMainDialog::Copy()
{
    std::vector<CKeyRecord> copySet = m_tasks.BuildCopySet(m_view->SelectedListItems());
    if (copySet.empty()) {
        ShowError(IDS_NOTHING_SELECTED);
        return;
    }
    CCopyDialog dialog(m_tasks, std::move(copySet));
    m_view->RunCopyDialog(dialog);
}

void CMainDialog::RefillList()
{
    m_view->SetListItems(m_tasks.ListRegistrations());
}

void CMainDialog::ShowPort()
{
    m_view->SetControlText(kPortText, m_tasks.PortText());
}

void CMainDialog::ShowCooperation()
{
    const EStringId state =
        m_tasks.IsCooperationPermitted() ? IDS_COOPERATION_PERMITTED : IDS_COOPERATION_NOT_PERMITTED;
    m_view->SetControlText(kCooperationText, std::string(LoadConsoleString(state)));
}

void CMainDialog::ShowError(EStringId id)
{
    m_view->ShowMessage(SConsoleMessage::Of(id, EMessageStyle::Error));
}
