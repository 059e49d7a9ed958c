#pragma once

#include <optional>
#include <string>

// The machine text that masks keys and the password in the store: the computer's
// identity, stable across its programs and never stored. Cached after the first
// non-empty result; empty (and tried again next time) while it cannot be read.
std::string GetMachineText();

// Replaces the machine text for this process (tests need an empty or a known one);
// std::nullopt restores the real source.
void SetMachineTextForTesting(std::optional<std::string> text);
