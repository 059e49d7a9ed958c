#include "ConsoleWindowTest.h"

#include "Wire.h"
#include "console/CMainDialog.h"
#include "console/qt/CLayoutDialog.h"
#include "console/qt/CQtStartupView.h"
#include "settings/CSettingsStore.h"
#include "settings/linux/CSqliteStore.h"

#include <QLineEdit>
#include <QPushButton>
#include <QTest>
#include <QTreeWidget>

ConsoleWindowTest::ConsoleWindowTest() : m_sqlite(std::make_unique<CSqliteStore>(m_dir.Path()))
{
    SetSettingsStoreForTesting(m_sqlite.get());
    storage.drives.Add('E', drive.Folder("E"), {9, 1});
}

ConsoleWindowTest::~ConsoleWindowTest()
{
    SetSettingsStoreForTesting(nullptr);
}

void ConsoleWindowTest::RunConsole(const std::function<void(QDialog& main)>& script)
{
    runner.Expect("101", [&script](QDialog& main) {
        script(main);
        Click(main, 2);
    });
    CMainDialog dialog(tasks, storage.system);
    CQtStartupView(runner).RunMainDialog(dialog);
    EXPECT_TRUE(runner.Done()) << "an expected dialog was not shown";
}

void ConsoleWindowTest::Register(const std::string& id, unsigned char seed)
{
    ASSERT_EQ(store.CreateLayout(), 1);
    CKeyRecord record;
    record.SetId(id);
    record.SetKey(reinterpret_cast<const unsigned char*>(Wire::Key(seed).data()));
    ASSERT_EQ(store.StoreKey(record), 1);
}

std::string ConsoleWindowTest::KeyOf(const std::string& stateDir, const std::string& id)
{
    std::string hex;
    if (Harness::StoreTool(stateDir, {"dump", id}, &hex) != 0)
        return "";
    return hex.substr(0, hex.find('\n'));
}

void ConsoleWindowTest::Click(QDialog& dialog, int id)
{
    QTest::mouseClick(&static_cast<CLayoutDialog&>(dialog).Control<QPushButton>(id), Qt::LeftButton);
}

void ConsoleWindowTest::Type(QDialog& dialog, int id, const QString& text)
{
    auto& edit = static_cast<CLayoutDialog&>(dialog).Control<QLineEdit>(id);
    edit.clear();
    QTest::keyClicks(&edit, text);
}

std::vector<std::string> ConsoleWindowTest::ListItems(QDialog& main)
{
    const auto& list = static_cast<CLayoutDialog&>(main).Control<QTreeWidget>(CMainDialog::kList);
    std::vector<std::string> items;
    for (int row = 0; row < list.topLevelItemCount(); ++row)
        items.push_back(list.topLevelItem(row)->text(0).toStdString());
    return items;
}

void ConsoleWindowTest::SelectListItems(QDialog& main, const std::vector<int>& rows)
{
    auto& list = static_cast<CLayoutDialog&>(main).Control<QTreeWidget>(CMainDialog::kList);
    for (int row : rows) {
        const QRect place = list.visualItemRect(list.topLevelItem(row));
        QTest::mouseClick(list.viewport(), Qt::LeftButton, Qt::ControlModifier, place.center());
    }
}
