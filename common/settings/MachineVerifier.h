#pragma once

#include <string>
#include <string_view>

// The store's record of the machine text its keys are masked with: a version byte, a
// random salt and a keyed hash of the text under it, never the text itself. A store
// carried to another machine (or a machine whose identity changed) is told by it, before
// a key is unmasked with the wrong text.
namespace MachineVerifier {

// A new verifier of the text (a fresh salt each time).
std::string Make(const std::string& machineText);

// Whether the verifier was made of this text; false for one this version cannot read.
bool Matches(std::string_view verifier, const std::string& machineText);

} // namespace MachineVerifier
