#pragma once

#include <QFont>

// The font every console dialog is laid out in: "ＭＳ Ｐゴシック" 9 pt. Linux has no font of
// that name; IPAPGothic has the same metrics, so the console maps the name onto it itself
// rather than rely on a fontconfig alias the system may not have.
class CDialogFont
{
public:
    static constexpr const char* kFamily = "ＭＳ Ｐゴシック";
    static constexpr const char* kSubstitute = "IPAPGothic";
    static constexpr int kPointSize = 9;

    // Maps the family onto its substitute and makes the font the application's (message
    // boxes and menus included); call once before the first widget is made.
    static void Install();
    static QFont Font();
};
