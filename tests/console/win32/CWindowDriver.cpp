#include "CWindowDriver.h"

#include "platform/win32/WideText.h"

#include <algorithm>
#include <chrono>
#include <commctrl.h>
#include <functional>
#include <thread>
// GDI+ needs the COM declarations that lean Windows headers leave out, and min and max,
// which the build keeps from being macros.
#include <objidl.h>
namespace Gdiplus {
using std::max;
using std::min;
} // namespace Gdiplus
#include <gdiplus.h>

namespace {

// Identifiers of the message box's parts.
constexpr int kMessageText = 0xFFFF;
constexpr int kMessageIcon = 0x0440;

template <class TFound> TFound Poll(const std::function<TFound()>& look)
{
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::milliseconds(CWindowDriver::kWaitMs);
    for (;;) {
        TFound found = look();
        if (found || std::chrono::steady_clock::now() > deadline) {
            return found;
        }
        std::this_thread::sleep_for(std::chrono::milliseconds(20));
    }
}

struct SSearch
{
    std::wstring caption;
    HWND found = nullptr;
};

BOOL CALLBACK MatchCaption(HWND window, LPARAM parameter)
{
    auto* search = reinterpret_cast<SSearch*>(parameter);
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t caption[256] = {};
    GetWindowTextW(window, caption, 256);
    if (process == GetCurrentProcessId() && IsWindowVisible(window) && search->caption == caption) {
        search->found = window;
        return FALSE;
    }
    return TRUE;
}

BOOL CALLBACK CancelDialog(HWND window, LPARAM /*parameter*/)
{
    DWORD process = 0;
    GetWindowThreadProcessId(window, &process);
    wchar_t className[64] = {};
    GetClassNameW(window, className, 64);
    if (process == GetCurrentProcessId() && std::wstring_view(className) == L"#32770") {
        PostMessageW(window, WM_COMMAND, IDCANCEL, 0);
        PostMessageW(window, WM_COMMAND, IDNO, 0);
        PostMessageW(window, WM_COMMAND, IDOK, 0);
    }
    return TRUE;
}

} // namespace

HWND CWindowDriver::WaitForDialog(const std::string& caption)
{
    return Poll<HWND>([&caption]() -> HWND {
        SSearch search{Platform::Widen(caption)};
        EnumWindows(MatchCaption, reinterpret_cast<LPARAM>(&search));
        return search.found;
    });
}

bool CWindowDriver::WaitUntilGone(HWND window)
{
    return Poll<bool>([window] { return IsWindow(window) == FALSE || IsWindowVisible(window) == FALSE; });
}

std::string CWindowDriver::Text(HWND dialog, int id)
{
    wchar_t text[1024] = {};
    SendMessageW(GetDlgItem(dialog, id), WM_GETTEXT, 1024, reinterpret_cast<LPARAM>(text));
    return Platform::Narrow(text);
}

void CWindowDriver::SetText(HWND dialog, int id, const std::string& text)
{
    SendMessageW(GetDlgItem(dialog, id), WM_SETTEXT, 0, reinterpret_cast<LPARAM>(Platform::Widen(text).c_str()));
}

void CWindowDriver::Click(HWND dialog, int id)
{
    PostMessageW(GetDlgItem(dialog, id), BM_CLICK, 0, 0);
}

bool CWindowDriver::IsChecked(HWND dialog, int id)
{
    return SendMessageW(GetDlgItem(dialog, id), BM_GETCHECK, 0, 0) == BST_CHECKED;
}

std::vector<std::string> CWindowDriver::ListItems(HWND list)
{
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageW(list, LVM_GETITEMCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        wchar_t text[260] = {};
        LVITEMW item{};
        item.pszText = text;
        item.cchTextMax = 260;
        SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
        items.push_back(Platform::Narrow(text));
    }
    return items;
}

void CWindowDriver::SelectListItems(HWND list, const std::vector<int>& indices)
{
    LVITEMW item{};
    item.stateMask = LVIS_SELECTED;
    item.state = 0;
    SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(-1), reinterpret_cast<LPARAM>(&item));
    item.state = LVIS_SELECTED;
    for (const int index : indices) {
        SendMessageW(list, LVM_SETITEMSTATE, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item));
    }
}

std::vector<std::string> CWindowDriver::ComboItems(HWND combo)
{
    std::vector<std::string> items;
    const int count = static_cast<int>(SendMessageW(combo, CB_GETCOUNT, 0, 0));
    for (int index = 0; index < count; ++index) {
        wchar_t text[260] = {};
        SendMessageW(combo, CB_GETLBTEXT, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(text));
        items.push_back(Platform::Narrow(text));
    }
    return items;
}

void CWindowDriver::SelectComboItem(HWND combo, int index)
{
    SendMessageW(combo, CB_SETCURSEL, static_cast<WPARAM>(index), 0);
}

CWindowDriver::SMessageBox CWindowDriver::WaitForMessage()
{
    SMessageBox box;
    box.window = WaitForDialog("Halvard");
    if (box.window == nullptr) {
        return box;
    }
    box.text = Text(box.window, kMessageText);
    const HWND icon = GetDlgItem(box.window, kMessageIcon);
    box.icon = icon != nullptr && IsWindowVisible(icon) && SendMessageW(icon, STM_GETICON, 0, 0) != 0;
    for (const int button : {IDOK, IDCANCEL, IDYES, IDNO}) {
        const HWND control = GetDlgItem(box.window, button);
        if (control != nullptr && IsWindowVisible(control)) {
            box.buttons.push_back(button);
        }
    }
    return box;
}

void CWindowDriver::Answer(const SMessageBox& box, int button)
{
    PostMessageW(box.window, WM_COMMAND, static_cast<WPARAM>(button), 0);
    WaitUntilGone(box.window);
}

bool CWindowDriver::SaveScreenshot(HWND window, const std::string& path)
{
    // Let the window finish painting first.
    RedrawWindow(window, nullptr, nullptr, RDW_INVALIDATE | RDW_UPDATENOW | RDW_ALLCHILDREN | RDW_FRAME);
    std::this_thread::sleep_for(std::chrono::milliseconds(300));
    RECT area{};
    GetWindowRect(window, &area);
    const int width = area.right - area.left;
    const int height = area.bottom - area.top;
    const HDC screen = GetDC(nullptr);
    const HDC memory = CreateCompatibleDC(screen);
    const HBITMAP bitmap = CreateCompatibleBitmap(screen, width, height);
    const HGDIOBJ previous = SelectObject(memory, bitmap);
    BitBlt(memory, 0, 0, width, height, screen, area.left, area.top, SRCCOPY);
    SelectObject(memory, previous);
    DeleteDC(memory);
    ReleaseDC(nullptr, screen);

    Gdiplus::GdiplusStartupInput input;
    ULONG_PTR token = 0;
    Gdiplus::GdiplusStartup(&token, &input, nullptr);
    // The PNG encoder of GDI+.
    const CLSID png = {0x557cf406, 0x1a04, 0x11d3, {0x9a, 0x73, 0x00, 0x00, 0xf8, 0x1e, 0xf3, 0x2e}};
    bool saved = false;
    {
        Gdiplus::Bitmap image(bitmap, nullptr);
        saved = image.Save(Platform::Widen(path).c_str(), &png, nullptr) == Gdiplus::Ok;
    }
    Gdiplus::GdiplusShutdown(token);
    DeleteObject(bitmap);
    return saved;
}

void CWindowDriver::CancelAll()
{
    for (int round = 0; round < 20; ++round) {
        EnumWindows(CancelDialog, 0);
        std::this_thread::sleep_for(std::chrono::milliseconds(100));
    }
}
