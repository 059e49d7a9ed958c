#pragma once

#include "console/ConsoleMessage.h"

#include <QMessageBox>

class CModalRunner;

// A message box of the console, captioned with the program's name: errors with the stop
// icon and OK, questions with Yes and No and no icon, notices with OK alone.
class CConsoleMessageBox : public QMessageBox
{
public:
    CConsoleMessageBox(QWidget* parent, const SConsoleMessage& message);

    // Shows the message modally over the parent (none before the first window) and returns
    // the answer.
    static EMessageAnswer Show(QWidget* parent, const SConsoleMessage& message, CModalRunner& runner);
};
