#pragma once

#include <string>
#include <string_view>

// The text as a JSON string, quotes included: quote, backslash, control characters and
// the characters SafeText hides escaped; a byte that is not part of valid UTF-8 becomes U+FFFD, so that the output is
// always valid JSON whatever the store holds.
std::string JsonString(std::string_view text);
