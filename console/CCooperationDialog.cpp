#include "CCooperationDialog.h"

#include "console/CConsoleTasks.h"
#include "console/CCooperationDialogView.h"
#include "console/DialogReaction.h"

namespace {

SDialogReaction ReactionTo(EPasswordOutcome outcome)
{
    switch (outcome) {
    case EPasswordOutcome::Mismatch:
        return SDialogReaction::Stay(IDS_PASSWORD_MISMATCH);
    case EPasswordOutcome::Empty:
        return SDialogReaction::Stay(IDS_PASSWORD_EMPTY);
    case EPasswordOutcome::Unrepresentable:
    case EPasswordOutcome::TooLong:
    case EPasswordOutcome::WriteFailed:
        return SDialogReaction::Stay(IDS_PASSWORD_WRITE_FAILED);
    case EPasswordOutcome::Changed:
        return SDialogReaction::CloseSilently();
    }
    return SDialogReaction::Stay(IDS_PASSWORD_WRITE_FAILED);
}

} // namespace

void CCooperationDialog::OnInitDialog(CCooperationDialogView& view)
{
    m_view = &view;
    m_view->SetTextLimit(kPassword, kPasswordLimit);
    m_view->SetTextLimit(kConfirmation, kPasswordLimit);
    const std::string password = m_tasks.CooperationPassword();
    m_view->SetControlText(kPassword, password);
    m_view->SetControlText(kConfirmation, password);
    m_view->CheckRadioButton(kPermit, kForbid, password.empty() ? kForbid : kPermit);
}

void CCooperationDialog::OnOK()
{
    const bool permit = m_view->CheckedRadioButton(kPermit, kForbid) == kPermit;
    const std::string password = permit ? m_view->GetControlText(kPassword) : std::string();
    const std::string confirmation = permit ? m_view->GetControlText(kConfirmation) : std::string();
    React(*m_view, ReactionTo(m_tasks.ChangePassword(permit, password, confirmation)));
}
