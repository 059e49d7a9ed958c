#pragma once

#include <poll.h>
#include <string>
#include <unistd.h>

// Everything the pipe yields until it stays silent for the given time.
inline std::string ReadUntilQuiet(int fd, int quietMs)
{
    std::string bytes;
    pollfd entry{fd, POLLIN, 0};
    while (poll(&entry, 1, quietMs) > 0) {
        char buffer[65536];
        const ssize_t got = read(fd, buffer, sizeof buffer);
        if (got <= 0) {
            break;
        }
        bytes.append(buffer, static_cast<size_t>(got));
    }
    return bytes;
}
