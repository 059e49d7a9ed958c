#include "console/win32ui/CRegisterDialogWindow.h"

#include "console/CRegisterDialog.h"
#include "platform/win32/WideText.h"

#include <vector>

namespace {

std::wstring ItemText(HWND combo, int index)
{
    const auto length = SendMessageW(combo, CB_GETLBTEXTLEN, static_cast<WPARAM>(index), 0);
    if (length == CB_ERR) {
        return {};
    }
    std::vector<wchar_t> text(static_cast<size_t>(length) + 1);
    SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text.data()));
    return std::wstring(text.data(), static_cast<size_t>(length));
}

} // namespace

CRegisterDialogWindow::CRegisterDialogWindow() : CWin32DialogWindow(CRegisterDialog::kDialogId) {}

void CRegisterDialogWindow::SetComboItems(const std::vector<std::string>& items)
{
    const HWND combo = Combo();
    // Disabled while it fills, so that no half-filled list can be chosen from.
    EnableWindow(combo, FALSE);
    SendMessageW(combo, CB_RESETCONTENT, 0, 0);
    for (const std::string& item : items) {
        SendMessageW(combo, CB_ADDSTRING, 0, reinterpret_cast<LPARAM>(Platform::Widen(item).c_str()));
    }
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(-1), 0);
    EnableWindow(combo, TRUE);
}

void CRegisterDialogWindow::SelectComboItem(int index)
{
    SendMessageW(Combo(), CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

// The item the edit field shows; text typed into the field that matches no item exactly
// selects nothing.
int CRegisterDialogWindow::SelectedComboItem()
{
    const HWND combo = Combo();
    const std::wstring shown = Platform::Widen(ControlText(CRegisterDialog::kLockKeys));
    const int current = static_cast<int>(SendMessageW(combo, CB_GETCURSEL, 0, 0));
    if (current != CB_ERR && ItemText(combo, current) == shown) {
        return current;
    }
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        if (ItemText(combo, index) == shown) {
            return index;
        }
    }
    return -1;
}

HWND CRegisterDialogWindow::Combo() const
{
    return Control(CRegisterDialog::kLockKeys);
}
