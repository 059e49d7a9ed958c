#pragma once

#include <optional>
#include <string>
#include <string_view>

// The cooperation password is compared as bytes with the other key servers of the network,
// which take it in code page 932: typed text (UTF-8) becomes those bytes before it is
// stored, compared or sent, and stored bytes become text again to be shown.

// nullopt when a character has no code page 932 form.
std::optional<std::string> PasswordToCodePage(std::string_view text);

// A byte sequence that is not code page 932 shows as U+FFFD.
std::string PasswordFromCodePage(std::string_view bytes);
