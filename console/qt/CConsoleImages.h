#pragma once

#include <QIcon>
#include <QPixmap>
#include <QSize>

// The console's own pictures, drawn from the SVG sources compiled into the program: the
// banner 131, the application icon 128 and the lock-key stick icon 129.
class CConsoleImages
{
public:
    static constexpr int kApplicationIcon = 128;
    static constexpr int kLockKeyIcon = 129;
    static constexpr int kBanner = 131;

    // The image filling the size (icons keep their square shape, centred); throws
    // std::out_of_range for a number that names no image.
    static QPixmap Render(int imageId, QSize size, qreal devicePixelRatio = 1.0);
    // The application icon at the sizes window managers and task bars ask for.
    static QIcon ApplicationIcon();
};
