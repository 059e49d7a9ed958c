#include "console/PasswordText.h"

#include "platform/win32/WideText.h"
#include "platform/win32/Win32.h"

namespace {

constexpr UINT kCodePage = 932;

// The text of a byte sequence that is code page 932 throughout; nullopt when it is not.
std::optional<std::wstring> Decode(std::string_view bytes)
{
    if (bytes.empty()) {
        return std::wstring();
    }
    const int length =
        MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), nullptr, 0);
    if (length <= 0) {
        return std::nullopt;
    }
    std::wstring text(static_cast<size_t>(length), L'\0');
    MultiByteToWideChar(kCodePage, MB_ERR_INVALID_CHARS, bytes.data(), static_cast<int>(bytes.size()), text.data(),
                        length);
    return text;
}

} // namespace

std::optional<std::string> PasswordToCodePage(std::string_view text)
{
    const std::wstring wide = Platform::Widen(text);
    if (wide.empty()) {
        return std::string();
    }
    // No best-fit mapping: a character without a code page 932 form fails instead of
    // becoming a look-alike that the other servers would compare as a different password.
    BOOL replaced = FALSE;
    const int length = WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()),
                                           nullptr, 0, nullptr, &replaced);
    if (length <= 0 || replaced != FALSE) {
        return std::nullopt;
    }
    std::string bytes(static_cast<size_t>(length), '\0');
    WideCharToMultiByte(kCodePage, WC_NO_BEST_FIT_CHARS, wide.data(), static_cast<int>(wide.size()), bytes.data(),
                        length, nullptr, &replaced);
    return bytes;
}

std::string PasswordFromCodePage(std::string_view bytes)
{
    std::string text;
    // A byte that begins no character (or a lead byte cut off at the end) is shown as one
    // replacement character; the rest goes on.
    while (!bytes.empty()) {
        size_t good = bytes.size();
        std::optional<std::wstring> decoded;
        while (good > 0 && !(decoded = Decode(bytes.substr(0, good)))) {
            --good;
        }
        if (good == 0) {
            text.append("\xEF\xBF\xBD");
            bytes.remove_prefix(1);
            continue;
        }
        text.append(Platform::Narrow(*decoded));
        bytes.remove_prefix(good);
    }
    return text;
}
