#include "service/MetricsFile.h"

#include "settings/CMetricsSettings.h"

#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <unistd.h>

namespace {

bool WriteAll(int fd, const std::string& text)
{
    size_t done = 0;
    while (done < text.size()) {
        const ssize_t written = write(fd, text.data() + done, text.size() - done);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return false;
        }
        done += static_cast<size_t>(written);
    }
    return true;
}

} // namespace

bool ReplaceMetricsFile(const std::string& directory, const std::string& text, std::string& error)
{
    const std::string path = directory + "/" + CMetricsSettings::kFileName;
    // Not ending in .prom: a collector reading the folder passes it by.
    const std::string temporary = path + ".tmp";
    // Readable by all: a collector runs as a user of its own, and the counts hold no secret.
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0644);
    if (fd < 0) {
        error = std::strerror(errno);
        return false;
    }
    const bool written = WriteAll(fd, text) && fsync(fd) == 0;
    const int writeError = errno;
    close(fd);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        error = std::strerror(written ? errno : writeError);
        unlink(temporary.c_str());
        return false;
    }
    // The rename itself survives a crash once the folder is flushed too.
    const int folder = open(directory.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
    if (folder >= 0) {
        fsync(folder);
        close(folder);
    }
    return true;
}
