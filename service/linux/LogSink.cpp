#include "service/LogSink.h"

#include "service/CDescriptorSink.h"
#include "service/linux/CJournalSink.h"

#include <cstdio>
#include <cstdlib>
#include <sys/stat.h>
#include <unistd.h>

namespace {

// systemd names the stream it connected to the journal in JOURNAL_STREAM ("DEVICE:INODE");
// standard error is that stream unless the service was started otherwise.
bool StandardErrorIsTheJournal()
{
    const char* stream = std::getenv("JOURNAL_STREAM");
    unsigned long long device = 0;
    unsigned long long inode = 0;
    struct stat info
    {};
    return stream != nullptr && std::sscanf(stream, "%llu:%llu", &device, &inode) == 2 &&
           fstat(STDERR_FILENO, &info) == 0 && info.st_dev == device && info.st_ino == inode;
}

} // namespace

std::unique_ptr<CLogSink> NewProcessLogSink()
{
    if (StandardErrorIsTheJournal()) {
        return std::make_unique<CJournalSink>(STDERR_FILENO);
    }
    return std::make_unique<CDescriptorSink>(STDERR_FILENO);
}
