#include "CLogQueue.h"

#include <algorithm>
#include <cerrno>
#include <cstring>
#include <string>
#include <thread>
#include <unistd.h>
#include <utility>

CLogQueue& CLogQueue::Process()
{
    static CLogQueue& queue = Open(STDERR_FILENO);
    return queue;
}

CLogQueue& CLogQueue::Open(int descriptor)
{
    return *new CLogQueue(descriptor);
}

CLogQueue::CLogQueue(int descriptor) : m_descriptor(descriptor), m_ring(new char[kCapacity])
{
    std::thread([this] { Run(); }).detach();
}

void CLogQueue::Add(std::string_view line)
{
    bool wake = false;
    {
        std::lock_guard<std::mutex> guard(m_lock);
        if (line.size() + 1 > kCapacity - m_size) {
            ++m_dropped;
            return;
        }
        size_t at = (m_head + m_size) % kCapacity;
        const size_t first = std::min(line.size(), kCapacity - at);
        std::memcpy(m_ring.get() + at, line.data(), first);
        std::memcpy(m_ring.get(), line.data() + first, line.size() - first);
        at = (at + line.size()) % kCapacity;
        m_ring[at] = '\n';
        m_size += line.size() + 1;
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
        Write(m_ring.get() + head, length);
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
            Write(note.data(), note.size());
        }
        m_written.notify_all();
    }
}

void CLogQueue::Write(const char* bytes, size_t length) const
{
    while (length > 0) {
        // At most 1 GiB a call: the Windows C library counts in unsigned int.
        const auto chunk = static_cast<unsigned>(std::min<size_t>(length, size_t{1} << 30));
        const auto written = write(m_descriptor, bytes, chunk);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // nowhere to log to; the service goes on
        }
        bytes += written;
        length -= static_cast<size_t>(written);
    }
}
