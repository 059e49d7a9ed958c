#include "console/qt/CConsoleApplication.h"

#include "console/qt/CConsoleImages.h"
#include "console/qt/CDialogFont.h"

#include <QApplication>
#include <QLibraryInfo>
#include <QLocale>
#include <QTranslator>

void CConsoleApplication::Prepare()
{
    QApplication::setApplicationName(QStringLiteral("Halvard"));
    QApplication::setDesktopFileName(QStringLiteral("halvard"));
    QApplication::setWindowIcon(CConsoleImages::ApplicationIcon());
    CDialogFont::Install();
    auto* qtTexts = new QTranslator(QCoreApplication::instance());
    if (qtTexts->load(QLocale(QLocale::Japanese, QLocale::Japan), QStringLiteral("qtbase"), QStringLiteral("_"),
                      QLibraryInfo::path(QLibraryInfo::TranslationsPath)))
        QApplication::installTranslator(qtTexts);
}
