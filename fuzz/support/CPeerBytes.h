#pragma once

#include <cstddef>
#include <cstdint>
#include <cstring>

// What the far end of a fuzzed connection sends: the fuzz input, handed out in chunks a
// seed chooses, as a real peer's segments arrive, and taken in chunks when written to.
// Once the input is used up the peer has closed.
class CPeerBytes
{
public:
    // chunkSeed 0: every read and write takes all it can.
    CPeerBytes(const uint8_t* data, size_t size, uint32_t chunkSeed) : m_data(data), m_size(size), m_state(chunkSeed) {}

    // Copies up to length bytes; 0 once the peer has closed.
    size_t Read(void* buffer, size_t length)
    {
        const size_t left = m_size - m_offset;
        const size_t count = NextChunk(length < left ? length : left);
        if (count == 0) {
            m_closed = true;
            return 0;
        }
        std::memcpy(buffer, m_data + m_offset, count);
        m_offset += count;
        return count;
    }

    // How much of a write of length bytes the peer takes now.
    size_t Take(size_t length) { return NextChunk(length); }

    bool Closed() const { return m_closed; }

private:
    // The most the next read or write takes, at least 1.
    size_t NextChunk(size_t wanted)
    {
        if (m_state == 0 || wanted <= 1) {
            return wanted;
        }
        m_state ^= m_state << 13;
        m_state ^= m_state >> 17;
        m_state ^= m_state << 5;
        // Mostly small pieces, so that headers and payloads are split at every offset.
        const size_t limit = (m_state & 3) == 0 ? wanted : 1 + (m_state >> 8) % 9;
        return limit < wanted ? limit : wanted;
    }

    const uint8_t* m_data;
    size_t m_size;
    size_t m_offset = 0;
    uint32_t m_state;
    bool m_closed = false;
};
