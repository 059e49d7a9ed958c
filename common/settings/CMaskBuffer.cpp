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

void CMaskBuffer::Fill(const void* source, size_t count)
{
    const auto* from = static_cast<const uint8_t*>(source);
    for (size_t i = 0; i < m_bytes.size(); ++i) {
        m_bytes[i] = (from == nullptr || count == 0) ? 0 : from[i % count];
    }
}

void CMaskBuffer::Add(const CMaskBuffer& other)
{
    const size_t n = std::min(m_bytes.size(), other.m_bytes.size());
    for (size_t i = 0; i < n; ++i) {
        m_bytes[i] = static_cast<uint8_t>(m_bytes[i] + other.m_bytes[i]);
    }
}

void CMaskBuffer::Subtract(const CMaskBuffer& other)
{
    const size_t n = std::min(m_bytes.size(), other.m_bytes.size());
    for (size_t i = 0; i < n; ++i) {
        m_bytes[i] = static_cast<uint8_t>(m_bytes[i] - other.m_bytes[i]);
    }
}

void CMaskBuffer::AddStream(const void* bytes, size_t count)
{
    if (m_bytes.empty() || count == 0) {
        return;
    }
    CMaskBuffer pad(nullptr, m_bytes.size());
    pad.Fill(bytes, count);
    Add(pad);
}

void CMaskBuffer::SubtractStream(const void* bytes, size_t count)
{
    if (m_bytes.empty() || count == 0) {
        return;
    }
    CMaskBuffer pad(nullptr, m_bytes.size());
    pad.Fill(bytes, count);
    Subtract(pad);
}
