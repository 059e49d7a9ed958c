#pragma once

#include "console/CStartupView.h"

// The console's start-up on Windows: message boxes before any window exists, and the main
// dialog run modally from the program's resources.
class CWin32StartupView : public CStartupView
{
public:
    EMessageAnswer ShowMessage(const SConsoleMessage& message) override;
    void RunMainDialog(CMainDialog& dialog) override;
};
