#pragma once

#include "console/ConsoleMessage.h"
#include "console/qt/CModalRunner.h"

#include <QMessageBox>
#include <deque>
#include <functional>
#include <string>

// Answers the console's modal dialogs and message boxes from a queue of scripts instead of
// running their event loops: each dialog is shown, photographed under the build tree, and
// must be the one the next script expects; the script works its controls and must end it.
class CScriptedRunner : public CModalRunner
{
public:
    using Script = std::function<void(QDialog&)>;

    // The dialog's resource number ("130"), or "message" for a message box.
    void Expect(const std::string& name, Script script);
    // A message box with that string and its style's icon and buttons, answered with the
    // button.
    void ExpectMessage(EStringId id, EMessageStyle style, QMessageBox::StandardButton answer = QMessageBox::Ok);
    bool Done() const { return m_scripts.empty(); }

    int Run(QDialog& dialog) override;

private:
    std::deque<std::pair<std::string, Script>> m_scripts;
    int m_shown = 0;
};
