#include "console/qt/CDialogFont.h"

#include <QApplication>
#include <QString>

void CDialogFont::Install()
{
    QFont::insertSubstitution(QString::fromUtf8(kFamily), QString::fromUtf8(kSubstitute));
    QApplication::setFont(Font());
}

QFont CDialogFont::Font()
{
    QFont font(QString::fromUtf8(kFamily));
    font.setPointSize(kPointSize);
    return font;
}
