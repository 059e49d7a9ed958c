// Oxlade: installs, controls and removes the key service; one command word per run.
#include "control/CServiceControl.h"
#include "control/CommandWords.h"
#include "control/ProgramDirectory.h"
#include "control/linux/CControlSystem.h"

#include <chrono>
#include <iostream>
#include <thread>
#include <unistd.h>

int main(int argc, char** argv)
{
    CControlSystem system;
    CControlOutput output(std::cout, std::cerr, isatty(STDOUT_FILENO) == 1);
    CServiceControl control(system.Manager(), system.Firewall(), system.Store(), output, ProgramDirectory(),
                            [](int ms) { std::this_thread::sleep_for(std::chrono::milliseconds(ms)); });
    return control.Run(JoinArguments(argc, argv));
}
