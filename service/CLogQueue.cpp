#include "CLogQueue.h"

#include "CDescriptorSink.h"
#include "LogSink.h"

#include <algorithm>
#include <cstring>
#include <string>
#include <thread>
#include <utility>

CLogQueue& CLogQueue::Process()
{
    static CLogQueue& queue = Open(NewProcessLogSink());
    return queue;
}

CLogQueue& CLogQueue::Open(int descriptor)
{
    return Open(std::make_unique<CDescriptorSink>(descriptor));
}

CLogQueue& CLogQueue::Open(std::unique_ptr<CLogSink> sink)
{
    return *new CLogQueue(std::move(sink));
}

CLogQueue::CLogQueue(std::unique_ptr<CLogSink> sink)
    : m_sink(std::move(sink)), m_takesFields(m_sink->TakesFields()), m_ring(new char[kCapacity])
{
    std::thread([this] { Run(); }).detach();
}

void CLogQueue::Add(std::string_view line, std::span<const SLogField> fields)
{
    size_t length = line.size() + 1;
    if (m_takesFields) {
        for (const SLogField& field : fields) {
            length += 2 + std::strlen(field.name) + field.value.size();
        }
    }
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (length > kCapacity - m_size) {
            ++m_dropped;
            return;
        }
        size_t at = (m_head + m_size) % kCapacity;
        const auto put = [this, &at](std::string_view bytes) {
            const size_t first = std::min(bytes.size(), kCapacity - at);
            std::memcpy(m_ring.get() + at, bytes.data(), first);
            std::memcpy(m_ring.get(), bytes.data() + first, bytes.size() - first);
            at = (at + bytes.size()) % kCapacity;
        };
        put(line);
        if (m_takesFields) {
            for (const SLogField& field : fields) {
                put(std::string_view(&CLogSink::kFieldMark, 1));
                put(field.name);
                put("=");
                put(field.value);
            }
        }
        m_ring[at] = '\n';
        m_size += length;
        wake = m_waiting;
    }
    if (wake) {
        m_queued.notify_one();
    }
}

bool CLogQueue::Drain(std::chrono::milliseconds limit)
{
    std::unique_lock<std::mutex> guard(m_lock);
    return m_written.wait_for(guard, limit, [this] { return m_size == 0; });
}

void CLogQueue::Run()
{
    for (;;) {
        size_t head = 0;
        size_t length = 0;
        {
            std::unique_lock<std::mutex> guard(m_lock);
            m_waiting = true;
            m_queued.wait(guard, [this] { return m_size > 0; });
            m_waiting = false;
        }
        // Lines come in bursts under load: gathering them a moment makes one write (and
        // one wake-up) of many.
        std::this_thread::sleep_for(kGatherTime);
        {
            std::lock_guard<std::mutex> guard(m_lock);
            head = m_head;
            length = std::min(m_size, kCapacity - m_head);
        }
        // The bytes from head on belong to this thread until it moves the head past them.
        m_sink->Write(m_ring.get() + head, length);
        // A write that stops where the ring wraps may end inside a line: the note waits
        // for the line's end, so that no line is split.
        const bool atLineEnd = m_ring[head + length - 1] == '\n';
        uint64_t dropped = 0;
        {
            std::lock_guard<std::mutex> guard(m_lock);
            m_head = (m_head + length) % kCapacity;
            m_size -= length;
            if (atLineEnd) {
                dropped = std::exchange(m_dropped, 0);
            }
        }
        if (dropped > 0) {
            const std::string note = std::to_string(dropped) + " log lines dropped\n";
            m_sink->Write(note.data(), note.size());
        }
        m_written.notify_all();
    }
}
