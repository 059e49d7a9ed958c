#include "CScriptedRunner.h"
#include "Screenshots.h"
#include "console/qt/CConsoleImages.h"
#include "console/qt/CDialogFont.h"
#include "console/qt/CLayoutDialog.h"
#include "console/qt/DialogLayouts.h"

#include <QCoreApplication>
#include <QFontInfo>
#include <QImage>
#include <QSet>
#include <gtest/gtest.h>

TEST(DialogFont, ResolvesToIpaPGothicAtTwelvePixels)
{
    const QFontInfo info(CDialogFont::Font());
    EXPECT_EQ("IPAPGothic", info.family().toStdString());
    EXPECT_EQ(12, info.pixelSize()); // 9 pt at 96 dpi
    // Qt's own texts, such as the edit fields' menus, speak the dialogs' language.
    EXPECT_EQ(QCoreApplication::translate("QLineEdit", "&Copy").toStdString(), "コピー(&C)");
}

TEST(DialogLayouts, EveryControlLiesInsideItsDialogAndIsFoundByItsIdentifier)
{
    for (int id : {DialogResource::kAbout, DialogResource::kMain, DialogResource::kRegister, DialogResource::kPort,
                   DialogResource::kCooperation, DialogResource::kCopy}) {
        SCOPED_TRACE(id);
        CScriptedRunner runner;
        CLayoutDialog dialog(id, nullptr, runner);
        QSet<QString> names;
        for (const SControlLayout& control : FindDialogLayout(id).controls) {
            if (control.id == kNoControlId)
                continue;
            const QWidget& widget = dialog.Control<QWidget>(control.id);
            EXPECT_FALSE(names.contains(widget.objectName())) << control.id;
            names.insert(widget.objectName());
            EXPECT_TRUE(dialog.rect().contains(widget.geometry())) << control.id;
        }
        dialog.show();
        SaveScreenshot(dialog, "template-" + std::to_string(id));
    }
}

TEST(ConsoleImages, EachImageIsDrawnFromItsSource)
{
    for (int id : {CConsoleImages::kApplicationIcon, CConsoleImages::kLockKeyIcon, CConsoleImages::kBanner}) {
        const QImage image = CConsoleImages::Render(id, QSize(60, 40)).toImage();
        ASSERT_EQ(QSize(60, 40), image.size()) << id;
        // A source that failed to load leaves the picture transparent.
        EXPECT_EQ(qAlpha(image.pixel(30, 20)), 255) << id;
    }
    EXPECT_THROW(CConsoleImages::Render(130, QSize(8, 8)), std::out_of_range);
}
