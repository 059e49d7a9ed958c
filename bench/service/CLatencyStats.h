#pragma once

#include <cstddef>
#include <cstdint>
#include <vector>

// Latencies of finished requests, in nanoseconds; one instance per client thread, merged
// once the run is over so that recording takes no lock.
class CLatencyStats
{
public:
    void Record(int64_t nanoseconds) { m_samples.push_back(nanoseconds); }
    void Merge(const CLatencyStats& other);

    size_t Count() const { return m_samples.size(); }
    // Nearest-rank percentile (0 < percent <= 100) in nanoseconds; 0 without samples.
    int64_t Percentile(double percent) const;
    int64_t Max() const;
    double MeanNanoseconds() const;

private:
    void Sort() const;

    mutable std::vector<int64_t> m_samples;
    mutable bool m_sorted = false;
};
