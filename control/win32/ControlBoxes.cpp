#include "ControlBoxes.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

SControlBoxStyle ControlBoxStyle(EControlBox box)
{
    switch (box) {
    case EControlBox::Warning:
        return {"Oxlade", MB_OK | MB_ICONWARNING};
    case EControlBox::Error:
        return {"Oxlade", MB_OK | MB_ICONERROR};
    case EControlBox::Notice:
        return {"Oxlade", MB_OK | MB_ICONINFORMATION};
    case EControlBox::Help:
        return {"Oxlade - Help", MB_OK};
    case EControlBox::Version:
        return {"Oxlade - Version", MB_OK};
    case EControlBox::Status:
        return {"Oxlade - Status", MB_OK};
    }
    return {"Oxlade", MB_OK};
}

void ShowControlBox(EControlBox box, const std::string& text)
{
    const SControlBoxStyle style = ControlBoxStyle(box);
    MessageBoxW(nullptr, Platform::Widen(text).c_str(), Platform::Widen(style.caption).c_str(), style.flags);
}
