#include "Log.h"

#include <cerrno>
#include <string>
#include <unistd.h>

void LogLine(std::string_view line)
{
    std::string text;
    text.reserve(line.size() + 1);
    text.append(line);
    text.push_back('\n');
    const char* next = text.data();
    size_t left = text.size();
    while (left > 0) {
        const ssize_t written = write(STDERR_FILENO, next, left);
        if (written < 0 && errno == EINTR) {
            continue;
        }
        if (written <= 0) {
            return; // nowhere to log to; the service goes on
        }
        next += written;
        left -= static_cast<size_t>(written);
    }
}
