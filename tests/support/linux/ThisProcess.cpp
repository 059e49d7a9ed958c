#include "ThisProcess.h"

#include <fstream>
#include <string>

long ThreadsOfThisProcess()
{
    std::ifstream status("/proc/self/status");
    std::string line;
    while (std::getline(status, line)) {
        if (line.rfind("Threads:", 0) == 0) {
            return std::stol(line.substr(8));
        }
    }
    return -1;
}
