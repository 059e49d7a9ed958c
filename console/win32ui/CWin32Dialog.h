#pragma once

#include "console/CDialogView.h"
#include "platform/win32/Win32.h"

#include <functional>
#include <string>

// A modal dialog made from its template in the program's resources, whose controls are
// reached by their identifiers, and what every console window offers its behaviour: texts
// by identifier, message boxes, the end of its modal run and the wait cursor.
class CWin32Dialog
{
public:
    explicit CWin32Dialog(int resourceId) : m_resourceId(resourceId) {}
    virtual ~CWin32Dialog() = default;
    CWin32Dialog(const CWin32Dialog&) = delete;
    CWin32Dialog& operator=(const CWin32Dialog&) = delete;

    // Creates the window over the owner, calls init once it exists and runs it modally
    // until it has ended.
    EDialogResult Run(HWND owner, const std::function<void()>& init = {});

    // What button 1 (and Enter) does; without a handler it accepts. Button 2, Escape and the
    // close box cancel without any action.
    void SetAcceptHandler(std::function<void()> handler) { m_accept = std::move(handler); }

    HWND Window() const { return m_window; }
    HWND Control(int id) const { return GetDlgItem(m_window, id); }
    std::string ControlText(int id) const;
    void SetControlText(int id, const std::string& text);
    EMessageAnswer Message(const SConsoleMessage& message);
    void End(EDialogResult result);
    static void SetWaitCursor(bool waiting);

protected:
    // The window exists; before init.
    virtual void OnCreated() {}
    // A control other than buttons 1 and 2 sent a command; false leaves it to the default.
    virtual bool OnControlCommand(int /*id*/, int /*notification*/) { return false; }
    // Any other message; false leaves it to the default handling.
    virtual bool OnMessage(UINT /*message*/, WPARAM /*wParam*/, LPARAM /*lParam*/, INT_PTR& /*result*/)
    {
        return false;
    }

private:
    static INT_PTR CALLBACK DialogProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
    INT_PTR Handle(UINT message, WPARAM wParam, LPARAM lParam);

    const int m_resourceId;
    HWND m_window = nullptr;
    std::function<void()> m_init;
    std::function<void()> m_accept;
};

// A console window as the view its behaviour drives.
template <class TView> class CWin32DialogWindow : public CWin32Dialog, public TView
{
public:
    using CWin32Dialog::CWin32Dialog;

    std::string GetControlText(int controlId) override { return ControlText(controlId); }
    void SetControlText(int controlId, const std::string& text) override
    {
        CWin32Dialog::SetControlText(controlId, text);
    }
    EMessageAnswer ShowMessage(const SConsoleMessage& message) override { return Message(message); }
    void EndDialog(EDialogResult result) override { End(result); }
    void SetWaitCursor(bool waiting) override { CWin32Dialog::SetWaitCursor(waiting); }
};
