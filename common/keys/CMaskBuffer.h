#pragma once

#include <cstddef>
#include <cstdint>
#include <string_view>
#include <vector>

// An owned byte string with the arithmetic of every mask: byte-wise addition and
// subtraction modulo 256, of another buffer or of a text repeated cyclically.
class CMaskBuffer
{
public:
    CMaskBuffer() = default;
    // Absent bytes give a buffer of zeros; a count of 0 gives an empty buffer.
    CMaskBuffer(const void* bytes, size_t count) { Assign(bytes, count); }

    void Assign(const void* bytes, size_t count);
    // Byte-wise, for i below the smaller length; the shorter operand does not wrap.
    void Add(const CMaskBuffer& other);
    // Adds or subtracts (bytes, count) repeated cyclically over the whole buffer; nothing
    // happens when the buffer or the count is empty.
    void AddStream(const void* bytes, size_t count);
    void SubtractStream(const void* bytes, size_t count);
    void AddStream(std::string_view text) { AddStream(text.data(), text.size()); }
    void SubtractStream(std::string_view text) { SubtractStream(text.data(), text.size()); }

    size_t Length() const { return m_bytes.size(); }
    bool Empty() const { return m_bytes.empty(); }
    const uint8_t* Data() const { return m_bytes.data(); }
    uint8_t* Data() { return m_bytes.data(); }
    std::string_view View() const { return {reinterpret_cast<const char*>(m_bytes.data()), m_bytes.size()}; }

    bool operator==(const CMaskBuffer& other) const = default;

private:
    std::vector<uint8_t> m_bytes;
};
