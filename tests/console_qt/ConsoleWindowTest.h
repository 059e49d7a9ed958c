#pragma once

#include "CScriptedRunner.h"
#include "Harness.h"
#include "TestStorage.h"
#include "console/CConsoleTasks.h"
#include "settings/CKeyStore.h"

#include <QString>
#include <functional>
#include <gtest/gtest.h>
#include <memory>
#include <string>
#include <vector>

class CSqliteStore;
class QDialog;

// The console's real windows on a private store, with a drive E: on a temporary folder for
// lock-key sticks; modal dialogs and message boxes are answered by the runner's scripts.
class ConsoleWindowTest : public ::testing::Test
{
protected:
    static constexpr const char* kId = "00A0B0C0D0E0";

    ConsoleWindowTest();
    ~ConsoleWindowTest() override;

    // Opens the main dialog as the start-up does and runs the script while it is shown;
    // then closes it with "閉じる". Every expected dialog must have been shown by then.
    void RunConsole(const std::function<void(QDialog& main)>& script);

    const std::string& StateDir() const { return m_dir.Path(); }
    void Register(const std::string& id, unsigned char seed);
    // The registered key of the ID in hex, "" when it is not registered.
    std::string KeyOf(const std::string& stateDir, const std::string& id);

    // A real mouse click on the control; typing replaces the field's text.
    static void Click(QDialog& dialog, int id);
    static void Type(QDialog& dialog, int id, const QString& text);
    static std::vector<std::string> ListItems(QDialog& main);
    static void SelectListItems(QDialog& main, const std::vector<int>& rows);

    Harness::CTempDir m_dir;
    std::unique_ptr<CSqliteStore> m_sqlite;
    CKeyStore store;
    std::vector<uint16_t> portsChanged;
    CConsoleTasks tasks{store, [this](uint16_t port) { portsChanged.push_back(port); }};
    CTempFolder drive;
    CTestStorage storage;
    CScriptedRunner runner;
};
