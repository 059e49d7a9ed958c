#pragma once

#include "console/qt/CModalRunner.h"

// Runs the dialog in its own event loop until it ends.
class CExecModalRunner : public CModalRunner
{
public:
    int Run(QDialog& dialog) override;
};
