#pragma once

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

// Big-endian numbers and length-prefixed texts in a byte string: the encoding of every
// file and message this system defines for itself, the same on every platform.
namespace ByteFields {

inline void Put(std::string& out, uint64_t value, int bytes)
{
    for (int shift = (bytes - 1) * 8; shift >= 0; shift -= 8) {
        out.push_back(static_cast<char>((value >> shift) & 0xFF));
    }
}

inline void PutText(std::string& out, std::string_view text, int lengthBytes)
{
    Put(out, text.size(), lengthBytes);
    out += text;
}

// Reads front to back; any read past the end fails every later one.
class CReader
{
public:
    explicit CReader(std::string_view bytes) : m_bytes(bytes) {}

    bool Number(int bytes, uint64_t& value)
    {
        std::string_view raw;
        if (!Take(static_cast<size_t>(bytes), raw)) {
            return false;
        }
        value = 0;
        for (const char byte : raw) {
            value = (value << 8) | static_cast<uint8_t>(byte);
        }
        return true;
    }
    bool Text(int lengthBytes, std::string& text)
    {
        uint64_t length = 0;
        std::string_view raw;
        if (!Number(lengthBytes, length) || !Take(length, raw)) {
            return false;
        }
        text = raw;
        return true;
    }
    bool Take(size_t length, std::string_view& raw)
    {
        if (m_bytes.size() - m_offset < length) {
            m_offset = m_bytes.size();
            return false;
        }
        raw = m_bytes.substr(m_offset, length);
        m_offset += length;
        return true;
    }
    bool AtEnd() const { return m_offset == m_bytes.size(); }

private:
    std::string_view m_bytes;
    size_t m_offset = 0;
};

} // namespace ByteFields
