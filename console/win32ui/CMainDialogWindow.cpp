#include "console/win32ui/CMainDialogWindow.h"

#include "console/CCooperationDialog.h"
#include "console/CCopyDialog.h"
#include "console/CMainDialog.h"
#include "console/CPortDialog.h"
#include "console/CRegisterDialog.h"
#include "console/win32ui/CCooperationDialogWindow.h"
#include "console/win32ui/CRegisterDialogWindow.h"
#include "platform/win32/WideText.h"

#include <commctrl.h>
#include <string>

namespace {

constexpr int kApplicationIcon = 128;
constexpr int kAboutDialog = 100;

// Opens a task dialog's window over the owner, lets its behaviour initialise it and runs it
// modally.
template <class TWindow, class TDialog> void RunTask(HWND owner, TWindow& window, TDialog& dialog)
{
    window.SetAcceptHandler([&dialog] { dialog.OnOK(); });
    window.Run(owner, [&window, &dialog] { dialog.OnInitDialog(window); });
}

HICON LoadApplicationIcon(int width, int height)
{
    return static_cast<HICON>(LoadImageW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(kApplicationIcon), IMAGE_ICON,
                                         width, height, LR_DEFAULTCOLOR | LR_SHARED));
}

// The whole text of a list item: the store takes IDs of any length, so the buffer grows
// until the text fits (a full buffer may have cut it).
std::wstring ItemText(HWND list, int index)
{
    std::wstring text(64, L'\0');
    for (;;) {
        LVITEMW item{};
        item.iSubItem = 0;
        item.pszText = text.data();
        item.cchTextMax = static_cast<int>(text.size());
        const auto length = static_cast<size_t>(
            SendMessageW(list, LVM_GETITEMTEXTW, static_cast<WPARAM>(index), reinterpret_cast<LPARAM>(&item)));
        if (length + 1 < text.size()) {
            text.resize(length);
            return text;
        }
        text.resize(text.size() * 2);
    }
}

} // namespace

CMainDialogWindow::CMainDialogWindow(CMainDialog& behaviour)
    : CWin32DialogWindow(CMainDialog::kDialogId), m_behaviour(behaviour)
{
    // Button 1 is hidden and disabled: Enter does not close the console.
    SetAcceptHandler([] {});
}

void CMainDialogWindow::OnCreated()
{
    m_icon = LoadApplicationIcon(GetSystemMetrics(SM_CXICON), GetSystemMetrics(SM_CYICON));
    SendMessageW(Window(), WM_SETICON, ICON_BIG, reinterpret_cast<LPARAM>(m_icon));
    SendMessageW(
        Window(), WM_SETICON, ICON_SMALL,
        reinterpret_cast<LPARAM>(LoadApplicationIcon(GetSystemMetrics(SM_CXSMICON), GetSystemMetrics(SM_CYSMICON))));
}

void CMainDialogWindow::AddSystemMenuItem(unsigned commandId, const std::string& text)
{
    const HMENU menu = GetSystemMenu(Window(), FALSE);
    if (menu == nullptr) {
        return;
    }
    AppendMenuW(menu, MF_SEPARATOR, 0, nullptr);
    AppendMenuW(menu, MF_STRING, commandId, Platform::Widen(text).c_str());
}

void CMainDialogWindow::SetListColumn(const std::string& header)
{
    RECT area{};
    GetClientRect(List(), &area);
    std::wstring text = Platform::Widen(header);
    LVCOLUMNW column{};
    column.mask = LVCF_FMT | LVCF_WIDTH | LVCF_TEXT;
    column.fmt = LVCFMT_LEFT;
    column.cx = area.right - area.left - 20;
    column.pszText = text.data();
    SendMessageW(List(), LVM_INSERTCOLUMNW, 0, reinterpret_cast<LPARAM>(&column));
    SendMessageW(List(), LVM_DELETEALLITEMS, 0, 0);
}

void CMainDialogWindow::SetListItems(const std::vector<std::string>& items)
{
    const HWND list = List();
    SendMessageW(list, WM_SETREDRAW, FALSE, 0);
    SendMessageW(list, LVM_DELETEALLITEMS, 0, 0);
    SendMessageW(list, LVM_SETITEMCOUNT, items.size(), 0);
    LVITEMW item{};
    item.mask = LVIF_TEXT;
    for (const std::string& text : items) {
        std::wstring wide = Platform::Widen(text);
        item.pszText = wide.data();
        SendMessageW(list, LVM_INSERTITEMW, 0, reinterpret_cast<LPARAM>(&item));
        ++item.iItem;
    }
    SendMessageW(list, WM_SETREDRAW, TRUE, 0);
    InvalidateRect(list, nullptr, TRUE);
}

std::vector<std::string> CMainDialogWindow::SelectedListItems()
{
    const HWND list = List();
    std::vector<std::string> selected;
    int index = -1;
    while ((index = static_cast<int>(SendMessageW(list, LVM_GETNEXTITEM, static_cast<WPARAM>(index), LVNI_SELECTED))) !=
           -1) {
        selected.push_back(Platform::Narrow(ItemText(list, index)));
    }
    return selected;
}

void CMainDialogWindow::RunRegisterDialog(CRegisterDialog& dialog)
{
    CRegisterDialogWindow window;
    RunTask(Window(), window, dialog);
}

void CMainDialogWindow::RunPortDialog(CPortDialog& dialog)
{
    CWin32DialogWindow<CDialogView> window(CPortDialog::kDialogId);
    RunTask(Window(), window, dialog);
}

void CMainDialogWindow::RunCooperationDialog(CCooperationDialog& dialog)
{
    CCooperationDialogWindow window;
    RunTask(Window(), window, dialog);
}

void CMainDialogWindow::RunCopyDialog(CCopyDialog& dialog)
{
    CWin32DialogWindow<CDialogView> window(CCopyDialog::kDialogId);
    RunTask(Window(), window, dialog);
}

void CMainDialogWindow::RunAboutDialog()
{
    CWin32Dialog window(kAboutDialog);
    window.Run(Window());
}

void CMainDialogWindow::PostToUiThread(std::function<void()> work)
{
    {
        const std::lock_guard lock(m_postedMutex);
        m_posted.push_back(std::move(work));
    }
    // A window that is gone takes no message: the work stays queued and goes with it.
    PostMessageW(Window(), kPostedWorkMessage, 0, 0);
}

void CMainDialogWindow::RunPostedWork()
{
    std::function<void()> work;
    {
        const std::lock_guard lock(m_postedMutex);
        if (m_posted.empty()) {
            return;
        }
        work = std::move(m_posted.front());
        m_posted.pop_front();
    }
    work();
}

bool CMainDialogWindow::OnControlCommand(int id, int notification)
{
    return notification == BN_CLICKED && m_behaviour.OnCommand(id);
}

bool CMainDialogWindow::OnMessage(UINT message, WPARAM wParam, LPARAM /*lParam*/, INT_PTR& result)
{
    switch (message) {
    case kPostedWorkMessage:
        RunPostedWork();
        return true;
    case WM_SYSCOMMAND:
        return m_behaviour.OnSystemCommand(static_cast<unsigned>(wParam));
    case WM_QUERYDRAGICON:
        result = reinterpret_cast<INT_PTR>(m_icon);
        return true;
    case WM_DESTROY:
        // Before the window goes: nothing is posted to it any more.
        m_behaviour.OnDestroy();
        return false;
    default:
        return false;
    }
}

HWND CMainDialogWindow::List() const
{
    return Control(CMainDialog::kList);
}
