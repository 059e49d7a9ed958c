#pragma once

class QDialog;

// Runs a dialog or a message box modally and returns its result: the dialog's result code,
// or the standard button that answered a message box. The program runs the dialog's own
// event loop; tests answer the dialog while it is shown.
class CModalRunner
{
public:
    virtual ~CModalRunner() = default;
    virtual int Run(QDialog& dialog) = 0;
};
