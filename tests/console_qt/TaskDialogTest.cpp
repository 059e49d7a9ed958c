#include "ConsoleWindowTest.h"
#include "Wire.h"
#include "console/CCooperationDialog.h"
#include "console/CCopyDialog.h"
#include "console/CMainDialog.h"
#include "console/CPortDialog.h"
#include "console/CRegisterDialog.h"
#include "console/qt/CLayoutDialog.h"

#include <QApplication>
#include <QComboBox>
#include <QRadioButton>
#include <QTest>

namespace {

using TaskDialogTest = ConsoleWindowTest;

CLayoutDialog& Window(QDialog& dialog)
{
    return static_cast<CLayoutDialog&>(dialog);
}

void Check(QDialog& dialog, int id)
{
    QTest::mouseClick(&Window(dialog).Control<QRadioButton>(id), Qt::LeftButton);
}

TEST_F(TaskDialogTest, RegistersTheLockKeyOfAStick)
{
    drive.File(std::string("E/dont_delete_") + kId + "/" + kId, Wire::Seal(Wire::Key(1), kId, ""));
    RunConsole([&](QDialog& main) {
        runner.Expect("102", [&](QDialog& dialog) {
            const auto& combo = Window(dialog).Control<QComboBox>(CRegisterDialog::kLockKeys);
            ASSERT_EQ(combo.count(), 1);
            EXPECT_EQ(combo.currentText().toStdString(), std::string("E:\\") + kId);
            runner.ExpectMessage(IDS_REGISTER_DONE, EMessageStyle::Notice);
            Click(dialog, 1);
        });
        Click(main, CMainDialog::kRegister);
        EXPECT_EQ(ListItems(main), std::vector<std::string>{kId});
    });
    EXPECT_EQ(KeyOf(StateDir(), kId), Wire::Hex(Wire::Key(1)));
}

TEST_F(TaskDialogTest, ChangesThePortThatARunningServiceThenFollows)
{
    ASSERT_EQ(Harness::StoreTool(StateDir(), {"layout"}), 0);
    uint16_t oldPort = 0;
    std::unique_ptr<Harness::CTernwickProcess> service;
    ASSERT_TRUE(Harness::StartServing(StateDir(), service, oldPort));
    const uint16_t newPort = Harness::FreePort();
    RunConsole([&](QDialog& main) {
        runner.Expect("130", [&](QDialog& dialog) {
            Type(dialog, CPortDialog::kPort, "0");
            runner.ExpectMessage(IDS_PORT_INVALID, EMessageStyle::Error);
            Click(dialog, 1);
            Type(dialog, CPortDialog::kPort, QString::number(newPort));
            Click(dialog, 1);
        });
        Click(main, CMainDialog::kChangePort);
        EXPECT_EQ(Window(main).ControlText(CMainDialog::kPortText), std::to_string(newPort));
    });
    EXPECT_EQ(portsChanged, std::vector<uint16_t>{newPort});
    EXPECT_TRUE(Harness::WaitForListener(newPort, 20000)) << "the service did not follow";
}

TEST_F(TaskDialogTest, SetsAndWithdrawsTheCooperationPassword)
{
    RunConsole([&](QDialog& main) {
        runner.Expect("132", [&](QDialog& dialog) {
            EXPECT_TRUE(Window(dialog).Control<QRadioButton>(CCooperationDialog::kForbid).isChecked());
            Check(dialog, CCooperationDialog::kPermit);
            Type(dialog, CCooperationDialog::kPassword, "abc");
            Type(dialog, CCooperationDialog::kConfirmation, "abd");
            runner.ExpectMessage(IDS_PASSWORD_MISMATCH, EMessageStyle::Error);
            Click(dialog, 1);
            Type(dialog, CCooperationDialog::kConfirmation, "abc");
            Click(dialog, 1);
        });
        Click(main, CMainDialog::kChangeCooperation);
        EXPECT_EQ(Window(main).ControlText(CMainDialog::kCooperationText), "許可する");
        EXPECT_EQ(store.ReadPassword(), "abc");

        runner.Expect("132", [&](QDialog& dialog) {
            EXPECT_TRUE(Window(dialog).Control<QRadioButton>(CCooperationDialog::kPermit).isChecked());
            EXPECT_EQ(Window(dialog).ControlText(CCooperationDialog::kConfirmation), "abc");
            Check(dialog, CCooperationDialog::kForbid);
            Click(dialog, 1);
        });
        Click(main, CMainDialog::kChangeCooperation);
        EXPECT_EQ(Window(main).ControlText(CMainDialog::kCooperationText), "許可しない");
    });
    EXPECT_EQ(store.ReadPassword(), "");
}

TEST_F(TaskDialogTest, CopiesTheSelectedKeyToARunningService)
{
    Harness::CTempDir target;
    ASSERT_EQ(Harness::StoreTool(target.Path(), {"layout"}), 0);
    ASSERT_EQ(Harness::StoreTool(target.Path(), {"password", "pw"}), 0);
    uint16_t port = 0;
    std::unique_ptr<Harness::CTernwickProcess> service;
    ASSERT_TRUE(Harness::StartServing(target.Path(), service, port));
    Register(kId, 5);
    RunConsole([&](QDialog& main) {
        SelectListItems(main, {0});
        runner.Expect("133", [&](QDialog& dialog) {
            EXPECT_EQ(Window(dialog).ControlText(CCopyDialog::kPort), "51056");
            Type(dialog, CCopyDialog::kHost, "127.0.0.1");
            Type(dialog, CCopyDialog::kPort, "x" + QString::number(port)); // the letter is refused
            Type(dialog, CCopyDialog::kPassword, "pw");
            runner.ExpectMessage(IDS_COPY_DONE, EMessageStyle::Notice);
            Click(dialog, 1);
        });
        Click(main, CMainDialog::kCopy);
        EXPECT_EQ(QApplication::overrideCursor(), nullptr) << "the wait cursor outlived the copy";
    });
    EXPECT_EQ(KeyOf(target.Path(), kId), Wire::Hex(Wire::Key(5)));
}

} // namespace
