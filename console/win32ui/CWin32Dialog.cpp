#include "console/win32ui/CWin32Dialog.h"

#include "console/win32ui/ConsoleMessageBox.h"
#include "platform/win32/WideText.h"

#include <vector>

EDialogResult CWin32Dialog::Run(HWND owner, const std::function<void()>& init)
{
    m_init = init;
    const INT_PTR result = DialogBoxParamW(GetModuleHandleW(nullptr), MAKEINTRESOURCEW(m_resourceId), owner,
                                           &CWin32Dialog::DialogProc, reinterpret_cast<LPARAM>(this));
    m_window = nullptr;
    return result == IDOK ? EDialogResult::Accepted : EDialogResult::Cancelled;
}

std::string CWin32Dialog::ControlText(int id) const
{
    const HWND control = Control(id);
    std::vector<wchar_t> text(static_cast<size_t>(GetWindowTextLengthW(control)) + 1);
    const int length = GetWindowTextW(control, text.data(), static_cast<int>(text.size()));
    return Platform::Narrow(std::wstring_view(text.data(), static_cast<size_t>(length > 0 ? length : 0)));
}

void CWin32Dialog::SetControlText(int id, const std::string& text)
{
    SetDlgItemTextW(m_window, id, Platform::Widen(text).c_str());
}

EMessageAnswer CWin32Dialog::Message(const SConsoleMessage& message)
{
    return ShowConsoleMessage(m_window, message);
}

void CWin32Dialog::End(EDialogResult result)
{
    // The modal loop ends once the handler running now has returned.
    EndDialog(m_window, result == EDialogResult::Accepted ? IDOK : IDCANCEL);
}

void CWin32Dialog::SetWaitCursor(bool waiting)
{
    SetCursor(LoadCursorW(nullptr, waiting ? IDC_WAIT : IDC_ARROW));
}

INT_PTR CALLBACK CWin32Dialog::DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam)
{
    if (message == WM_INITDIALOG) {
        auto* dialog = reinterpret_cast<CWin32Dialog*>(lParam);
        SetWindowLongPtrW(window, DWLP_USER, lParam);
        dialog->m_window = window;
    }
    auto* dialog = reinterpret_cast<CWin32Dialog*>(GetWindowLongPtrW(window, DWLP_USER));
    return dialog != nullptr ? dialog->Handle(message, wParam, lParam) : FALSE;
}

INT_PTR CWin32Dialog::Handle(UINT message, WPARAM wParam, LPARAM lParam)
{
    switch (message) {
    case WM_INITDIALOG:
        OnCreated();
        if (m_init) {
            m_init();
        }
        return TRUE; // the default focus
    case WM_COMMAND: {
        const int id = LOWORD(wParam);
        if (id == IDOK) {
            if (m_accept) {
                m_accept();
            } else {
                End(EDialogResult::Accepted);
            }
            return TRUE;
        }
        if (id == IDCANCEL) {
            End(EDialogResult::Cancelled);
            return TRUE;
        }
        return OnControlCommand(id, HIWORD(wParam)) ? TRUE : FALSE;
    }
    default: {
        INT_PTR result = FALSE;
        if (!OnMessage(message, wParam, lParam, result)) {
            return FALSE;
        }
        // A few messages take their answer as the procedure's result; the others in the
        // window's message result.
        if (message == WM_QUERYDRAGICON) {
            return result;
        }
        SetWindowLongPtrW(m_window, DWLP_MSGRESULT, result);
        return TRUE;
    }
    }
}
