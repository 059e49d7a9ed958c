#pragma once

#include "console/ConsoleMessage.h"

#include <string>

enum class EDialogResult
{
    Accepted,
    Cancelled,
};

// What every window of the console offers the behaviour that drives it. Controls are named
// by their numeric identifiers; texts are UTF-8. Cancel (button 2, Escape, the close box)
// is the window's own business: it ends the dialog as cancelled without asking the
// behaviour. Every call comes on the user-interface thread.
class CDialogView
{
public:
    virtual ~CDialogView() = default;

    virtual std::string GetControlText(int controlId) = 0;
    virtual void SetControlText(int controlId, const std::string& text) = 0;
    // Shows a modal message box with the caption kMessageCaption; returns the button pressed.
    virtual EMessageAnswer ShowMessage(const SConsoleMessage& message) = 0;
    // Ends the modal run of this dialog once the current handler has returned.
    virtual void EndDialog(EDialogResult result) = 0;
    // Shows or removes the wait cursor over the whole program.
    virtual void SetWaitCursor(bool waiting) = 0;
};
