#include "CChangeCounter.h"

#include <fcntl.h>
#include <sys/mman.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr size_t kFileSize = 4096;
constexpr std::chrono::seconds kRetryInterval{1};

static_assert(std::atomic_ref<uint64_t>::is_always_lock_free, "the count is shared between processes");

} // namespace

CChangeCounter::~CChangeCounter()
{
    if (uint64_t* counter = m_counter.load()) {
        munmap(counter, kFileSize);
    }
}

uint64_t CChangeCounter::Read()
{
    uint64_t* counter = Counter(false);
    return counter == nullptr ? 0 : std::atomic_ref<uint64_t>(*counter).load(std::memory_order_acquire) + 1;
}

void CChangeCounter::Bump()
{
    Revalidate();
    if (uint64_t* counter = Counter(true)) {
        std::atomic_ref<uint64_t>(*counter).fetch_add(1, std::memory_order_acq_rel);
    }
}

void CChangeCounter::PrepareForWriting()
{
    Counter(true);
}

void CChangeCounter::Revalidate()
{
    std::lock_guard<std::mutex> guard(m_lock);
    if (m_counter.load() == nullptr) {
        return;
    }
    struct stat info
    {};
    if (stat(m_file.c_str(), &info) == 0 && info.st_dev == m_device && info.st_ino == m_inode) {
        return;
    }
    // The old mapping stays: readers may still be looking at it, and it is 4 KiB.
    m_counter.store(nullptr, std::memory_order_release);
    m_nextTry = {};
    Map(m_writable);
}

uint64_t* CChangeCounter::Counter(bool writing)
{
    uint64_t* counter = m_counter.load(std::memory_order_acquire);
    if (counter != nullptr && (!writing || m_writable)) {
        return counter;
    }
    std::lock_guard<std::mutex> guard(m_lock);
    const auto now = std::chrono::steady_clock::now();
    // A writer always tries (writes are rare); a reader at most once per interval.
    if (m_counter.load() == nullptr && (writing || now >= m_nextTry)) {
        m_nextTry = now + kRetryInterval;
        Map(writing);
    }
    counter = m_counter.load();
    return counter != nullptr && (!writing || m_writable) ? counter : nullptr;
}

// Called with the lock held. Created owner-only like the database beside it, and only by
// a writer: reading the store changes no file.
bool CChangeCounter::Map(bool writing)
{
    bool writable = true;
    int fd = open(m_file.c_str(), O_RDWR | (writing ? O_CREAT : 0) | O_CLOEXEC | O_NOFOLLOW | O_NOCTTY, 0600);
    if (fd < 0) {
        fd = open(m_file.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW);
        writable = false;
    }
    if (fd < 0) {
        return false;
    }
    struct stat info
    {};
    bool sized = fstat(fd, &info) == 0 && S_ISREG(info.st_mode);
    if (sized && writing && writable && info.st_size < static_cast<off_t>(kFileSize)) {
        fchmod(fd, 0600);
        sized = ftruncate(fd, kFileSize) == 0;
    } else if (sized) {
        sized = info.st_size >= static_cast<off_t>(kFileSize);
    }
    void* mapped =
        sized ? mmap(nullptr, kFileSize, writable ? PROT_READ | PROT_WRITE : PROT_READ, MAP_SHARED, fd, 0) : MAP_FAILED;
    close(fd);
    if (mapped == MAP_FAILED) {
        return false;
    }
    m_writable = writable;
    m_device = info.st_dev;
    m_inode = info.st_ino;
    m_counter.store(static_cast<uint64_t*>(mapped), std::memory_order_release);
    return true;
}
