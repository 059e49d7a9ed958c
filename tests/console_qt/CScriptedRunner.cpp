#include "CScriptedRunner.h"

#include "Screenshots.h"

#include <QAbstractButton>
#include <QApplication>
#include <gtest/gtest.h>

void CScriptedRunner::Expect(const std::string& name, Script script)
{
    m_scripts.emplace_back(name, std::move(script));
}

void CScriptedRunner::ExpectMessage(EStringId id, EMessageStyle style, QMessageBox::StandardButton answer)
{
    Expect("message", [id, style, answer](QDialog& dialog) {
        auto& box = static_cast<QMessageBox&>(dialog);
        EXPECT_EQ(box.windowTitle().toStdString(), "Halvard");
        EXPECT_EQ(box.text().toStdString(), LoadConsoleString(id)) << id;
        EXPECT_EQ(box.icon(), style == EMessageStyle::Error ? QMessageBox::Critical : QMessageBox::NoIcon) << id;
        EXPECT_EQ(box.standardButtons(), style == EMessageStyle::Question
                                             ? QMessageBox::Yes | QMessageBox::No
                                             : QMessageBox::StandardButtons(QMessageBox::Ok))
            << id;
        box.button(answer)->click();
    });
}

int CScriptedRunner::Run(QDialog& dialog)
{
    dialog.show();
    const std::string name = dialog.objectName().toStdString();
    const auto* test = ::testing::UnitTest::GetInstance()->current_test_info();
    SaveScreenshot(dialog, std::string(test->test_suite_name()) + "." + test->name() + "-" + std::to_string(++m_shown) +
                               "-" + name);
    if (m_scripts.empty()) {
        ADD_FAILURE() << "dialog " << name << " was not expected";
        dialog.reject();
        return dialog.result();
    }
    auto [expected, script] = std::move(m_scripts.front());
    m_scripts.pop_front();
    EXPECT_EQ(name, expected);
    script(dialog);
    if (dialog.isVisible()) {
        ADD_FAILURE() << "dialog " << name << " is still open after its script";
        dialog.reject();
    }
    return dialog.result();
}
