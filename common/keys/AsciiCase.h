#pragma once

#include <string>
#include <string_view>

// Letter case as the C library maps it in the "C" locale: only a-z and A-Z change.
std::string UpperAscii(std::string_view text);
std::string LowerAscii(std::string_view text);
