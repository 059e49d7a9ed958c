#pragma once

#include "console/CStartupView.h"

class CModalRunner;

// The console's start-up on Qt: the refusal message before any window exists, and the main
// dialog's window.
class CQtStartupView : public CStartupView
{
public:
    explicit CQtStartupView(CModalRunner& runner) : m_runner(runner) {}

    EMessageAnswer ShowMessage(const SConsoleMessage& message) override;
    void RunMainDialog(CMainDialog& dialog) override;

private:
    CModalRunner& m_runner;
};
