#pragma once

#include "CSqliteConnection.h"

#include <cstdint>
#include <string_view>

// The change log in the database: every change is recorded in the transaction that
// makes it, so other processes can learn what changed where. Kinds 1 and 4 are the
// notification filters; creation and deletion of a key itself have kinds of their own.
class CChangeLog
{
public:
    static constexpr int64_t kSubkeyNames = 1; // a subkey of path was created or deleted
    static constexpr int64_t kValues = 4;      // a value of path was created, replaced or deleted
    static constexpr int64_t kKeyCreated = 0x100;
    static constexpr int64_t kKeyDeleted = 0x200;

    // Records one change inside the caller's write transaction; false on failure.
    static bool Record(CSqliteConnection& connection, std::string_view path, int64_t kind);
    // Sequence number of the newest change (0 for none); -1 on failure.
    static int64_t Newest(CSqliteConnection& connection);
};
