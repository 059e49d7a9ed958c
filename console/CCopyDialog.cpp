#include "CCopyDialog.h"

#include "console/CConsoleTasks.h"
#include "console/CWaitCursor.h"
#include "console/DialogReaction.h"

namespace {

SDialogReaction ReactionTo(ECopyOutcome outcome)
{
    switch (outcome) {
    case ECopyOutcome::InvalidPort:
    case ECopyOutcome::NoConnection:
        return SDialogReaction::Stay(IDS_COPY_NO_CONNECTION);
    case ECopyOutcome::UnrepresentablePassword:
    case ECopyOutcome::PasswordRefused:
    case ECopyOutcome::Failed:
        return SDialogReaction::Stay(IDS_COPY_FAILED);
    case ECopyOutcome::Done:
        return SDialogReaction::Close(IDS_COPY_DONE, EMessageStyle::Notice);
    }
    return SDialogReaction::Stay(IDS_COPY_FAILED);
}

} // namespace

void CCopyDialog::OnInitDialog(CDialogView& view)
{
    m_view = &view;
    m_view->SetControlText(kPort, kDefaultPort);
}

void CCopyDialog::OnOK()
{
    ECopyOutcome outcome;
    {
        const CWaitCursor waiting(*m_view);
        outcome = m_tasks.CopyKeys(m_copySet, {m_view->GetControlText(kHost), m_view->GetControlText(kPort),
                                               m_view->GetControlText(kPassword)});
    }
    React(*m_view, ReactionTo(outcome));
}
