#include "console/qt/CExecModalRunner.h"

#include <QDialog>

int CExecModalRunner::Run(QDialog& dialog)
{
    return dialog.exec();
}
