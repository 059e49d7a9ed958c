#include "DialogReaction.h"

EMessageAnswer React(CDialogView& view, const SDialogReaction& reaction)
{
    const EMessageAnswer answer = reaction.message ? view.ShowMessage(*reaction.message) : EMessageAnswer::Ok;
    if (reaction.closes) {
        view.EndDialog(EDialogResult::Accepted);
    }
    return answer;
}
