#include "console/qt/CConsoleImages.h"

#include <QPainter>
#include <QString>
#include <QSvgRenderer>
#include <stdexcept>

namespace {

QString SourceOf(int imageId)
{
    switch (imageId) {
    case CConsoleImages::kApplicationIcon:
        return QStringLiteral(":/images/icon128.svg");
    case CConsoleImages::kLockKeyIcon:
        return QStringLiteral(":/images/icon129.svg");
    case CConsoleImages::kBanner:
        return QStringLiteral(":/images/banner131.svg");
    default:
        throw std::out_of_range("no image " + std::to_string(imageId));
    }
}

} // namespace

QPixmap CConsoleImages::Render(int imageId, QSize size, qreal devicePixelRatio)
{
    QSvgRenderer renderer(SourceOf(imageId));
    QPixmap pixmap(size * devicePixelRatio);
    pixmap.fill(Qt::transparent);
    QRectF target(QPointF(0, 0), QSizeF(pixmap.size()));
    if (imageId != kBanner) {
        const qreal side = std::min(target.width(), target.height());
        target = QRectF(target.center() - QPointF(side / 2, side / 2), QSizeF(side, side));
    }
    QPainter painter(&pixmap);
    renderer.render(&painter, target);
    painter.end();
    pixmap.setDevicePixelRatio(devicePixelRatio);
    return pixmap;
}

QIcon CConsoleImages::ApplicationIcon()
{
    QIcon icon;
    for (int side : {16, 24, 32, 48, 64, 128})
        icon.addPixmap(Render(kApplicationIcon, QSize(side, side)));
    return icon;
}
