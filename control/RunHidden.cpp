#include "RunHidden.h"

#include "control/CCommandLineRunner.h"

#include <cstring>

int RunHidden(std::string_view commandLine, CCommandLineRunner& runner)
{
    if (commandLine.size() >= kMaxCommandLine) {
        return 1;
    }
    char buffer[kMaxCommandLine] = {};
    std::memcpy(buffer, commandLine.data(), commandLine.size());
    const auto exitCode = runner.StartAndWait(buffer);
    return exitCode && *exitCode == 0 ? 0 : 1;
}
