#pragma once

// Exit statuses of corvane-admin.
enum EExitStatus : int
{
    kExitSuccess = 0,
    kExitFailed = 1, // refused or failed
    kExitUsage = 2,  // the command line is wrong
};
