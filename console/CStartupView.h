#pragma once

#include "console/ConsoleMessage.h"

class CMainDialog;

// What the console's start-up needs of the program's toolkit: a message box before any
// window exists, and the modal run of the main dialog.
class CStartupView
{
public:
    virtual ~CStartupView() = default;

    virtual EMessageAnswer ShowMessage(const SConsoleMessage& message) = 0;
    // Opens the main window, lets the behaviour initialise it (OnInitDialog with that
    // window), runs it modally and returns when it has closed; the behaviour's OnDestroy is
    // called before the window is destroyed.
    virtual void RunMainDialog(CMainDialog& dialog) = 0;
};
