#include "CPortDialog.h"

#include "console/CConsoleTasks.h"
#include "console/DialogReaction.h"

namespace {

SDialogReaction ReactionTo(EPortOutcome outcome)
{
    switch (outcome) {
    case EPortOutcome::Empty:
        return SDialogReaction::Stay(IDS_PORT_EMPTY);
    case EPortOutcome::Invalid:
        return SDialogReaction::Stay(IDS_PORT_INVALID);
    case EPortOutcome::InUse:
        return SDialogReaction::Stay(IDS_PORT_IN_USE);
    case EPortOutcome::WriteFailed:
        return SDialogReaction::Stay(IDS_PORT_WRITE_FAILED);
    case EPortOutcome::Changed:
        return SDialogReaction::CloseSilently();
    }
    return SDialogReaction::Stay(IDS_PORT_WRITE_FAILED);
}

} // namespace

void CPortDialog::OnOK()
{
    React(*m_view, ReactionTo(m_tasks.ChangePort(m_view->GetControlText(kPort))));
}
