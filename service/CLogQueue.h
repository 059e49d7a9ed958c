#pragma once

#include "service/CLogSink.h"
#include "service/Log.h"

#include <chrono>
#include <condition_variable>
#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <span>
#include <string_view>

// The service's log between the threads that write lines and the descriptor they go to.
// Lines are copied into a bounded ring that one writer thread empties, so a sink that
// stalls (a stuck journal, a terminal paused with Ctrl-S, a pipe nobody reads) never holds
// up a request, the watcher or a stop. When the ring is full a line is dropped and
// counted, and "N log lines dropped" follows, on a line of its own, as soon as the sink
// takes lines again. The writer may stay blocked in the sink for ever, so a queue lives as
// long as the process.
class CLogQueue
{
public:
    static constexpr size_t kCapacity = 256 * 1024;
    static constexpr std::chrono::milliseconds kGatherTime{10};

    // The log of the process: standard error, or the journal when standard error is
    // connected to it (see LogSink.h).
    static CLogQueue& Process();
    // A queue of its own onto the descriptor, or the sink; never destroyed.
    static CLogQueue& Open(int descriptor);
    static CLogQueue& Open(std::unique_ptr<CLogSink> sink);

    // Whether lines are worth giving their fields: the sink keeps them.
    bool TakesFields() const { return m_takesFields; }
    // Queues the line (with its fields when the sink takes them) and a line end; never
    // waits for the sink. Field values are printable text, as the line is.
    void Add(std::string_view line, std::span<const SLogField> fields = {});
    // Waits until every queued line is written, at most the given time; true when so.
    bool Drain(std::chrono::milliseconds limit);

private:
    explicit CLogQueue(std::unique_ptr<CLogSink> sink);
    ~CLogQueue() = delete;

    void Run();

    const std::unique_ptr<CLogSink> m_sink;
    const bool m_takesFields;
    const std::unique_ptr<char[]> m_ring;
    std::mutex m_lock;
    std::condition_variable m_queued;
    std::condition_variable m_written;
    size_t m_head = 0; // first byte not yet written
    size_t m_size = 0; // bytes queued, from m_head on, wrapping
    uint64_t m_dropped = 0;
    bool m_waiting = false;
};
