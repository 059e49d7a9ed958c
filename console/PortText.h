#pragma once

#include <cstdint>
#include <optional>
#include <string_view>

// The port of the key service as typed: valid only when the text is exactly the decimal
// form of a number from 1 to 65535 (no sign, no leading zero, no space).
std::optional<uint16_t> ParsePortSetting(std::string_view text);

// The port of a copy's target as typed: decimal digits only, at most 65535.
std::optional<uint16_t> ParseTargetPort(std::string_view text);
