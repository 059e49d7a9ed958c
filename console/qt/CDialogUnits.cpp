#include "console/qt/CDialogUnits.h"

#include <QFont>
#include <QFontMetrics>
#include <QString>
#include <cmath>

namespace {

// a * b / c rounded half away from zero, as MulDiv.
int MulDiv(int a, int b, int c)
{
    return static_cast<int>(std::lround(static_cast<double>(a) * b / c));
}

} // namespace

CDialogUnits::CDialogUnits(const QFont& font)
{
    const QFontMetrics metrics(font);
    const int letters =
        metrics.horizontalAdvance(QStringLiteral("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz"));
    // The width of 52 letters over 52, rounded the way the dialog manager rounds it.
    m_baseX = (letters / 26 + 1) / 2;
    m_baseY = metrics.height();
}

int CDialogUnits::ToPixelsX(int units) const
{
    return MulDiv(units, m_baseX, 4);
}

int CDialogUnits::ToPixelsY(int units) const
{
    return MulDiv(units, m_baseY, 8);
}

QSize CDialogUnits::ToPixels(int width, int height) const
{
    return {ToPixelsX(width), ToPixelsY(height)};
}

QRect CDialogUnits::ToPixels(int x, int y, int width, int height) const
{
    return {ToPixelsX(x), ToPixelsY(y), ToPixelsX(width), ToPixelsY(height)};
}
