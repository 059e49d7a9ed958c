#pragma once

#include <cstddef>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class ELockKeyFault;

// IDs as typed, in the upper case the key store holds them in.
std::vector<std::string> UpperIds(const std::vector<std::string>::const_iterator& first,
                                  const std::vector<std::string>::const_iterator& last);

// "A, B and C"; after the first few, "and N more".
std::string JoinIds(const std::vector<std::string>& ids);

// "1 key", "2 keys".
std::string CountOf(size_t count, const std::string& noun);

// "2026-12-09 02:50 UTC" for seconds since the epoch; nullopt outside the years 1 to 9999.
std::optional<std::string> UtcMinuteText(int64_t seconds);

// Why a lock key's key cannot be registered, and what to do about it.
std::string FaultText(ELockKeyFault fault);
std::string FaultAdvice(ELockKeyFault fault);
