#pragma once

#include "console/CDialogView.h"
#include "console/ConsoleMessage.h"

#include <optional>

// What a dialog does with the outcome of its task: the message it shows (none after a
// silent success) and whether it then closes as accepted or stays open with its input.
struct SDialogReaction
{
    std::optional<SConsoleMessage> message;
    bool closes = false;

    static SDialogReaction Stay(EStringId id, EMessageStyle style = EMessageStyle::Error)
    {
        return {SConsoleMessage::Of(id, style), false};
    }
    static SDialogReaction Close(EStringId id, EMessageStyle style) { return {SConsoleMessage::Of(id, style), true}; }
    static SDialogReaction CloseSilently() { return {std::nullopt, true}; }
};

// Shows the reaction's message and ends the dialog if it closes; returns the answer (Ok
// when nothing was asked).
EMessageAnswer React(CDialogView& view, const SDialogReaction& reaction);
