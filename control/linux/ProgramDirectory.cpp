#include "control/ProgramDirectory.h"

#include <climits>
#include <unistd.h>

std::string ProgramDirectory()
{
    char path[PATH_MAX];
    const ssize_t length = readlink("/proc/self/exe", path, sizeof path);
    if (length <= 0 || static_cast<size_t>(length) >= sizeof path) {
        return {};
    }
    const std::string executable(path, static_cast<size_t>(length));
    return executable.substr(0, executable.rfind('/'));
}

std::string ProgramPath(const std::string& directory, std::string_view name)
{
    return directory + "/" + std::string(name);
}
