#pragma once

#include <array>
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// The keys a measurement registers: unit k has a MAC-style identifier and a key derived
// from k, so that every client can compute the exact reply without sharing state.
using LockKey = std::array<uint8_t, 32>;

std::string BenchId(size_t unit);
LockKey BenchKey(size_t unit, uint32_t generation = 0);

// The key as the service must send it (Wire::Seal).
LockKey SealForTransfer(const LockKey& key, std::string_view id, std::string_view mask);

// A small, fast generator for per-request choices (unit, mask bytes).
class CFastRandom
{
public:
    explicit CFastRandom(uint64_t seed) : m_state(seed * 0x9E3779B97F4A7C15ull + 1) {}
    uint64_t Next()
    {
        m_state ^= m_state << 13;
        m_state ^= m_state >> 7;
        m_state ^= m_state << 17;
        return m_state;
    }
    size_t Below(size_t bound) { return static_cast<size_t>(Next() % bound); }

private:
    uint64_t m_state;
};
