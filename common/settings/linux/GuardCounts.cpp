#include "settings/GuardCounts.h"

#include <cstdio>
#include <fcntl.h>
#include <fstream>
#include <string>
#include <unistd.h>

namespace {

constexpr const char* kFileName = "/guard-counts";

} // namespace

bool WriteGuardCounts(const SGuardCounts& counts, const std::string& directory)
{
    if (directory.empty()) {
        return false;
    }
    const std::string path = directory + kFileName;
    const std::string temporary = path + ".new";
    const std::string text = GuardCountsText(counts);
    const int fd = open(temporary.c_str(), O_WRONLY | O_CREAT | O_TRUNC | O_CLOEXEC | O_NOFOLLOW, 0600);
    if (fd < 0) {
        return false;
    }
    const bool written = write(fd, text.data(), text.size()) == static_cast<ssize_t>(text.size());
    close(fd);
    if (!written || std::rename(temporary.c_str(), path.c_str()) != 0) {
        unlink(temporary.c_str());
        return false;
    }
    return true;
}

std::optional<SGuardCounts> ReadGuardCounts(const std::string& directory)
{
    std::ifstream file(directory + kFileName);
    if (directory.empty() || !file) {
        return std::nullopt;
    }
    return ParseGuardCounts(file);
}
