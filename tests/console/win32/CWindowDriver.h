#pragma once

#include "platform/win32/Win32.h"

#include <string>
#include <vector>

// Drives the windows of this process from a second thread while the first runs their modal
// loops, as a user would: windows found by caption, controls by identifier, buttons
// clicked, message boxes read and answered. Every wait gives up after ten seconds.
class CWindowDriver
{
public:
    static constexpr int kWaitMs = 10000;

    // The visible dialog of this process with that caption; nullptr when none came.
    static HWND WaitForDialog(const std::string& caption);
    static bool WaitUntilGone(HWND window);

    static std::string Text(HWND dialog, int id);
    static void SetText(HWND dialog, int id, const std::string& text);
    // Clicks the button as the mouse would: the dialog reacts on its own thread.
    static void Click(HWND dialog, int id);
    static bool IsChecked(HWND dialog, int id);

    static std::vector<std::string> ListItems(HWND list);
    static void SelectListItems(HWND list, const std::vector<int>& indices);
    static std::vector<std::string> ComboItems(HWND combo);
    static void SelectComboItem(HWND combo, int index);

    // A message box of the console: its text, whether it shows an icon, and its buttons.
    struct SMessageBox
    {
        HWND window = nullptr;
        std::string text;
        bool icon = false;
        std::vector<int> buttons;
    };
    static SMessageBox WaitForMessage();
    static void Answer(const SMessageBox& box, int button);

    // The window as it is on the screen, saved as a PNG file.
    static bool SaveScreenshot(HWND window, const std::string& path);
    // Ends every dialog this process still shows: a test that failed part-way ends.
    static void CancelAll();
};
