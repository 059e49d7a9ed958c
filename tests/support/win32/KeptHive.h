#pragma once

#include <optional>
#include <string>

// The bytes of a value in a registry hive file (a kept copy of the store), read by loading
// the hive beside the machine's branches for the call: Wine's RegRestoreKey restores
// nothing, and loading reads the same file. nullopt when the value is not there; a hive
// that cannot be loaded fails the calling test.
std::optional<std::string> ValueInHive(const std::string& hive, const std::string& key, const std::string& value);
