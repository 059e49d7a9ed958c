#pragma once

#include "CFailoverPair.h"

#include <string>

// A way for the server holding the floating address to fail, and its way back.
struct SFailoverScenario
{
    const char* name;
    // Both false, with the reason in *problem, when a step could not be taken.
    bool (*fail)(CFailoverPair& pair, int server, std::string* problem);
    bool (*recover)(CFailoverPair& pair, int server, std::string* problem);
    // Whether the keys change on the other server while this one is away.
    bool keysChangeMeanwhile = false;
};

// kill -9 of the server's Ternwick, and its start again.
bool KillService(CFailoverPair& pair, int server, std::string* problem);
bool StartService(CFailoverPair& pair, int server, std::string* problem);

struct SFailoverOutcome
{
    std::string failure;      // empty when the pair behaved
    double servedAgainMs = 0; // from the failure to the end of the first reply after it
    double inStepMs = 0;      // from the returning Ternwick's start to its serving the changed keys
};

// Fails the server holding the address: the other one takes it and the unit is served
// again from it. Then the failed one recovers, catches up with keys changed meanwhile by
// itself, and stays a backup: the address does not move back.
SFailoverOutcome RunFailoverScenario(CFailoverPair& pair, const SFailoverScenario& scenario);
