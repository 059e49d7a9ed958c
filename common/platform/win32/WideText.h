#pragma once

#include <string>
#include <string_view>

namespace Platform {

// UTF-8 to and from UTF-16, for the W calls of Win32: every text of this system is UTF-8.
// Bytes that are no UTF-8 become U+FFFD; so do unpaired surrogates on the way back.
std::wstring Widen(std::string_view text);
std::string Narrow(std::wstring_view text);

} // namespace Platform
