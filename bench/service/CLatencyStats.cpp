#include "CLatencyStats.h"

#include <algorithm>
#include <cmath>
#include <numeric>

void CLatencyStats::Merge(const CLatencyStats& other)
{
    m_samples.insert(m_samples.end(), other.m_samples.begin(), other.m_samples.end());
    m_sorted = false;
}

void CLatencyStats::Sort() const
{
    if (!m_sorted) {
        std::sort(m_samples.begin(), m_samples.end());
        m_sorted = true;
    }
}

int64_t CLatencyStats::Percentile(double percent) const
{
    if (m_samples.empty()) {
        return 0;
    }
    Sort();
    // Nearest rank: the smallest sample with at least percent of all samples at or below it.
    const double rank = std::ceil(percent / 100.0 * static_cast<double>(m_samples.size()));
    const size_t index = rank < 1.0 ? 0 : std::min(m_samples.size(), static_cast<size_t>(rank)) - 1;
    return m_samples[index];
}

int64_t CLatencyStats::Max() const
{
    return m_samples.empty() ? 0 : *std::max_element(m_samples.begin(), m_samples.end());
}

double CLatencyStats::MeanNanoseconds() const
{
    if (m_samples.empty()) {
        return 0.0;
    }
    const double sum = std::accumulate(m_samples.begin(), m_samples.end(), 0.0);
    return sum / static_cast<double>(m_samples.size());
}
