#include "console/win32ui/ConsoleMessageBox.h"

#include "platform/win32/WideText.h"

#include <string>

namespace {

// The text of the string in the program's string table; the console's own text for one the
// table does not hold.
std::wstring MessageText(const SConsoleMessage& message)
{
    const wchar_t* resource = nullptr;
    const int length =
        LoadStringW(GetModuleHandleW(nullptr), static_cast<UINT>(message.id), reinterpret_cast<wchar_t*>(&resource), 0);
    if (length > 0 && resource != nullptr) {
        return std::wstring(resource, static_cast<size_t>(length));
    }
    return Platform::Widen(message.text);
}

} // namespace

UINT MessageBoxFlags(EMessageStyle style)
{
    switch (style) {
    case EMessageStyle::Error:
        return MB_OK | MB_ICONSTOP;
    case EMessageStyle::Notice:
        return MB_OK;
    case EMessageStyle::Question:
        return MB_YESNO;
    }
    return MB_OK;
}

EMessageAnswer ShowConsoleMessage(HWND owner, const SConsoleMessage& message)
{
    const std::wstring caption = Platform::Widen(kMessageCaption);
    switch (MessageBoxW(owner, MessageText(message).c_str(), caption.c_str(), MessageBoxFlags(message.style))) {
    case IDYES:
        return EMessageAnswer::Yes;
    case IDNO:
        return EMessageAnswer::No;
    default:
        return EMessageAnswer::Ok;
    }
}
