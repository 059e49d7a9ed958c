#pragma once

#include <string>
#include <thread>

struct SServiceParts;

// Writes the service's metrics into the folder the store names (see CMetricsSettings):
// every 15 s, at once when a setting changes, and a last time at the stop. A folder that
// cannot be written is logged once, until a write succeeds again.
class CMetricsWriter
{
public:
    static constexpr int kIntervalMs = 15000;

    explicit CMetricsWriter(const SServiceParts& parts) : m_parts(parts) {}
    ~CMetricsWriter();
    CMetricsWriter(const CMetricsWriter&) = delete;
    CMetricsWriter& operator=(const CMetricsWriter&) = delete;

    // Runs until the service's stop event; throws std::system_error when no thread starts.
    void Start();
    // Waits for the last write (call once the stop event is set).
    void Join();

private:
    void Run();
    void WriteNow();

    const SServiceParts& m_parts;
    std::thread m_thread;
    std::string m_directory;
    bool m_failing = false;
};
