#pragma once

// Exit statuses of corvane-admin.
enum EExitStatus : int
{
    kExitSuccess = 0,
    kExitFailed = 1, // refused or failed
    kExitUsage = 2,  // the command line is wrong
    // health's, one for each reason the key service is not healthy.
    kExitNotRunning = 3,    // nothing listens on its port
    kExitNotAnswering = 4,  // something listens but no check is answered in time
    kExitPaused = 5,        // the service manager says it is paused (or pausing)
    kExitStoreUnusable = 6, // the key store is missing, damaged or cannot be read
    kExitStoreForeign = 7,  // the key store belongs to another machine identity
    kExitInConflict = 8,    // an ID has another key on a peer than here
};
