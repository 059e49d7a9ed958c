#include "service/ProcessEntry.h"

#include <cstdio>
#include <cstdlib>

int main()
{
    const int code = RunTernwick();
    // Connection threads may still run: end the process without running destructors
    // under their feet.
    std::fflush(nullptr);
    std::_Exit(code);
}
