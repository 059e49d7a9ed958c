#pragma once

#include <atomic>
#include <chrono>
#include <cstdint>
#include <mutex>
#include <string>
#include <sys/types.h>

// How many changes the store has committed, in a small file that every process using the
// store maps, so that "has anything changed?" costs one memory read: every writer moves
// the count after its commit and before its write returns. Where the file cannot be
// mapped the count is unknown (0), and mapping is tried again at most once a second. Only
// a writer creates the file.
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
    // Maps the file for counting, creating it where missing, before this process writes.
    void PrepareForWriting();
    // Maps the file again when the one mapped is no longer the one of that name (removed
    // or replaced), so that the counts of other processes reach this one again.
    void Revalidate();

private:
    uint64_t* Counter(bool writing);
    bool Map(bool writing);

    const std::string m_file;
    std::atomic<uint64_t*> m_counter{nullptr};
    std::mutex m_lock;
    bool m_writable = false;
    dev_t m_device = 0;
    ino_t m_inode = 0;
    std::chrono::steady_clock::time_point m_nextTry;
};
