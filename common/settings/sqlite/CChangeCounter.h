#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>

// How many changes the store has committed, in a small file that every process using the
// store maps, so that "has anything changed?" costs one memory read: every writer moves
// the count after its commit and before its write returns. Where the file cannot be
// mapped the count is unknown (0), and mapping is tried again at most once a second.
class CChangeCounter
{
public:
    explicit CChangeCounter(std::string file) : m_file(std::move(file)) {}
    ~CChangeCounter();
    CChangeCounter(const CChangeCounter&) = delete;
    CChangeCounter& operator=(const CChangeCounter&) = delete;

    // Never 0 when known.
    uint64_t Read();
    void Bump();

private:
    uint64_t* Counter(bool writing);
    bool Map();

    const std::string m_file;
    std::atomic<uint64_t*> m_counter{nullptr};
    std::mutex m_lock;
    bool m_writable = false;
    std::chrono::steady_clock::time_point m_nextTry;
};
