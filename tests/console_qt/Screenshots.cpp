#include "Screenshots.h"

#include <QApplication>
#include <QDir>
#include <QPixmap>
#include <QWidget>

void SaveScreenshot(QWidget& widget, const std::string& name)
{
    QDir().mkpath(QStringLiteral(SCREENSHOT_DIR));
    QApplication::processEvents();
    widget.grab().save(QStringLiteral(SCREENSHOT_DIR "/") + QString::fromStdString(name) + QStringLiteral(".png"));
}
