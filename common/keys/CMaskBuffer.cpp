#include "CMaskBuffer.h"

#include <algorithm>
#include <cstring>

void CMaskBuffer::Assign(const void* bytes, size_t count)
{
    m_bytes.assign(count, 0);
    if (bytes != nullptr && count > 0) {
        std::memcpy(m_bytes.data(), bytes, count);
    }
}

void CMaskBuffer::Add(const CMaskBuffer& other)
{
    const size_t n = std::min(m_bytes.size(), other.m_bytes.size());
    for (size_t i = 0; i < n; ++i) {
        m_bytes[i] = static_cast<uint8_t>(m_bytes[i] + other.m_bytes[i]);
    }
}

// In place, without building the cyclic buffer: the service unmasks every key of the
// list for each request.
void CMaskBuffer::AddStream(const void* bytes, size_t count)
{
    const auto* from = static_cast<const uint8_t*>(bytes);
    if (m_bytes.empty() || count == 0 || from == nullptr) {
        return; // adding zeros changes nothing
    }
    // One pass of the source per chunk: the inner loop has no index arithmetic.
    for (size_t start = 0; start < m_bytes.size(); start += count) {
        const size_t length = std::min(count, m_bytes.size() - start);
        uint8_t* to = m_bytes.data() + start;
        for (size_t k = 0; k < length; ++k) {
            to[k] = static_cast<uint8_t>(to[k] + from[k]);
        }
    }
}

void CMaskBuffer::SubtractStream(const void* bytes, size_t count)
{
    const auto* from = static_cast<const uint8_t*>(bytes);
    if (m_bytes.empty() || count == 0 || from == nullptr) {
        return;
    }
    // One pass of the source per chunk: the inner loop has no index arithmetic.
    for (size_t start = 0; start < m_bytes.size(); start += count) {
        const size_t length = std::min(count, m_bytes.size() - start);
        uint8_t* to = m_bytes.data() + start;
        for (size_t k = 0; k < length; ++k) {
            to[k] = static_cast<uint8_t>(to[k] - from[k]);
        }
    }
}
