#include "CRegisterDialog.h"

#include "console/CConsoleTasks.h"
#include "console/CRegisterDialogView.h"
#include "console/DialogReaction.h"

namespace {

SDialogReaction ReactionTo(ERegisterOutcome outcome)
{
    switch (outcome) {
    case ERegisterOutcome::NothingSelected:
        return SDialogReaction::Stay(IDS_NOTHING_SELECTED);
    case ERegisterOutcome::AskToReplace:
        return SDialogReaction::Stay(IDS_REGISTER_REPLACE, EMessageStyle::Question);
    case ERegisterOutcome::CorruptKey:
        return SDialogReaction::Close(IDS_LOCK_KEY_CORRUPT, EMessageStyle::Error);
    case ERegisterOutcome::WriteFailed:
        return SDialogReaction::Stay(IDS_REGISTER_FAILED);
    case ERegisterOutcome::Stored:
        return SDialogReaction::Close(IDS_REGISTER_DONE, EMessageStyle::Notice);
    }
    return SDialogReaction::Stay(IDS_REGISTER_FAILED);
}

} // namespace

CRegisterDialog::CRegisterDialog(CConsoleTasks& tasks, const CStorageSystem& storage)
    : m_tasks(tasks), m_scanner(storage)
{}

void CRegisterDialog::OnInitDialog(CRegisterDialogView& view)
{
    m_view = &view;
    m_scanner.Scan();
    std::vector<std::string> items;
    for (size_t i = 0; i < m_scanner.GetCount(); ++i) {
        items.push_back(m_scanner.GetDisplayText(i));
    }
    m_view->SetComboItems(items);
    if (!items.empty()) {
        m_view->SelectComboItem(0);
    }
}

void CRegisterDialog::OnOK()
{
    const int index = m_view->SelectedComboItem();
    const bool chosen = index >= 0 && static_cast<size_t>(index) < m_scanner.GetCount();
    const CLockKeyEntry* entry = chosen ? &m_scanner.GetEntry(static_cast<size_t>(index)) : nullptr;
    const ERegisterOutcome outcome = m_tasks.RegisterLockKey(entry, EReplace::Ask);
    const EMessageAnswer answer = React(*m_view, ReactionTo(outcome));
    if (outcome == ERegisterOutcome::AskToReplace && answer == EMessageAnswer::Yes) {
        React(*m_view, ReactionTo(m_tasks.RegisterLockKey(entry, EReplace::Allowed)));
    }
}
