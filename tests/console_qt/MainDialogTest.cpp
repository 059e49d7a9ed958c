#include "ConsoleWindowTest.h"
#include "Screenshots.h"
#include "Wire.h"
#include "console/CMainDialog.h"
#include "console/qt/CLayoutDialog.h"

#include <QApplication>
#include <QContextMenuEvent>
#include <QFontInfo>
#include <QHeaderView>
#include <QMenu>
#include <QTest>
#include <QTreeWidget>

namespace {

using MainDialogTest = ConsoleWindowTest;

TEST_F(MainDialogTest, HasItsFixedSizeAndOpensTheAboutBoxFromTheContextMenuAndAltA)
{
    RunConsole([&](QDialog& main) {
        // IPAPGothic at 12 px (9 pt, 96 dpi), from its tables: 2048 units per em; the 52
        // advances of A-Z a-z sum to 62998 units = 369.1 px, so the horizontal base unit is
        // (369 / 26 + 1) / 2 = 7; ascent 1802 (hhea) and descent 401 (OS/2 winDescent) give
        // 10.56 + 2.35 px, rounded 11 + 2 = 13, the vertical one. 259 x 336 dialog units are
        // 259 * 7 / 4 = 453.25 and 336 * 13 / 8 = 546 pixels.
        EXPECT_EQ(main.size(), QSize(453, 546));
        EXPECT_EQ(QFontInfo(main.font()).family().toStdString(), "IPAPGothic");
        const auto& list = static_cast<CLayoutDialog&>(main).Control<QTreeWidget>(CMainDialog::kList);
        EXPECT_EQ(list.headerItem()->text(0).toStdString(), "MACアドレス");
        EXPECT_EQ(list.header()->sectionSize(0), list.width() - 20);
        EXPECT_EQ(static_cast<CLayoutDialog&>(main).ControlText(CMainDialog::kPortText), "51056");
        EXPECT_EQ(static_cast<CLayoutDialog&>(main).ControlText(CMainDialog::kCooperationText), "許可しない");

        const auto closeAbout = [](QDialog& about) { Click(about, 1); };
        runner.Expect("100", closeAbout);
        main.activateWindow();
        ASSERT_TRUE(QTest::qWaitForWindowActive(&main));
        QTest::keyClick(&main, Qt::Key_A, Qt::AltModifier);
        EXPECT_TRUE(runner.Done()) << "Alt+A opened no about box";

        runner.Expect("100", closeAbout);
        QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(10, 10), main.mapToGlobal(QPoint(10, 10)));
        QApplication::sendEvent(&main, &click);
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        ASSERT_NE(menu, nullptr);
        SaveScreenshot(*menu, "MainDialogTest.context-menu");
        const QAction* item = menu->actions().last();
        EXPECT_EQ(item->text().toStdString(), "Halvard のﾊﾞｰｼﾞｮﾝ情報(&A)...");
        QTest::keyClick(menu, Qt::Key_A);
        EXPECT_TRUE(runner.Done()) << "the menu item opened no about box";
    });
}

TEST_F(MainDialogTest, ShowsARegistrationWrittenByAnotherProcess)
{
    Register("00A0B0C0D0E1", 1);
    RunConsole([&](QDialog& main) {
        EXPECT_EQ(ListItems(main), std::vector<std::string>{"00A0B0C0D0E1"});
        ASSERT_EQ(Harness::StoreTool(StateDir(), {"key", "00A0B0C0D0E0", Wire::Hex(Wire::Key(2))}), 0);
        const std::vector<std::string> both{"00A0B0C0D0E0", "00A0B0C0D0E1"};
        // About a second; the bound only catches a watcher that never calls.
        EXPECT_TRUE(QTest::qWaitFor([&] { return ListItems(main) == both; }, 20000));
        SelectListItems(main, {1});
        SaveScreenshot(main, "main-dialog");
    });
}

TEST_F(MainDialogTest, DeletesTwoAfterNoThenYes)
{
    for (const char* id : {"00A0B0C0D0E1", "00A0B0C0D0E2", "00A0B0C0D0E3"})
        Register(id, 3);
    RunConsole([&](QDialog& main) {
        runner.ExpectMessage(IDS_NOTHING_SELECTED, EMessageStyle::Error);
        Click(main, CMainDialog::kDelete);
        runner.ExpectMessage(IDS_NOTHING_SELECTED, EMessageStyle::Error);
        Click(main, CMainDialog::kCopy);

        SelectListItems(main, {0, 2});
        runner.ExpectMessage(IDS_DELETE_CONFIRM, EMessageStyle::Question, QMessageBox::No);
        Click(main, CMainDialog::kDelete);
        EXPECT_EQ(ListItems(main).size(), 3u);
        const auto& list = static_cast<CLayoutDialog&>(main).Control<QTreeWidget>(CMainDialog::kList);
        EXPECT_TRUE(list.selectedItems().empty()) << "the refill keeps no selection";

        SelectListItems(main, {0, 2});
        runner.ExpectMessage(IDS_DELETE_CONFIRM, EMessageStyle::Question, QMessageBox::Yes);
        runner.ExpectMessage(IDS_DELETE_DONE, EMessageStyle::Notice);
        Click(main, CMainDialog::kDelete);
        EXPECT_EQ(ListItems(main), std::vector<std::string>{"00A0B0C0D0E2"});
    });
    EXPECT_EQ(store.LoadKeyList().size(), 1u);
}

} // namespace
