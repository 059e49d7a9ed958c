#include "RunHidden.h"

#include "control/CProcessRunner.h"

#include <string>

int RunHidden(std::string_view commandLine, CProcessRunner& runner)
{
    if (commandLine.size() >= kMaxCommandLine) {
        return 1;
    }
    return runner.Run({std::string(commandLine)}) == 0 ? 0 : 1;
}
