#pragma once

#include <cstddef>
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

// Why a lock key's key cannot be registered, and what to do about it.
std::string FaultText(ELockKeyFault fault);
std::string FaultAdvice(ELockKeyFault fault);
