#pragma once

#include <QRect>
#include <QSize>

class QFont;

// Converts dialog units to pixels for a dialog font, as the Windows dialog manager does: the
// horizontal base unit is the average width of the letters A-Z a-z, the vertical one the
// font's height; a horizontal unit is a quarter of the first, a vertical one an eighth of
// the second.
class CDialogUnits
{
public:
    explicit CDialogUnits(const QFont& font);

    int ToPixelsX(int units) const;
    int ToPixelsY(int units) const;
    QSize ToPixels(int width, int height) const;
    QRect ToPixels(int x, int y, int width, int height) const;

private:
    int m_baseX;
    int m_baseY;
};
