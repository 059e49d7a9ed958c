#pragma once

#include <string>

// What stands between a process and the settings store, as found by looking at it without
// changing anything. The programs turn it into what they tell the administrator.
enum class StoreProblem
{
    None,         // usable as asked
    NoLocation,   // the state directory is named wrongly (an empty or relative override)
    Missing,      // no store yet: nothing was ever written there
    Empty,        // the store file exists but holds nothing (0 bytes, or no settings at all)
    NoAccess,     // this user may not read it, or not change it when a change was asked
    ReadOnly,     // it may be read, but its file or file system cannot be written
    Corrupt,      // the file is not a store: damaged, or another kind of file
    UnsafeFolder, // its folder can be written by others, or belongs to another user
    Failed,       // the store could not be reached (I/O error, held too long by another)
};

struct StoreCondition
{
    StoreProblem problem = StoreProblem::None;
    // The folder or file the problem concerns (the store's file when there is none), and
    // what was found there (a mode, an owner, a system error); empty when there is nothing
    // to add.
    std::string path;
    std::string detail;
};
