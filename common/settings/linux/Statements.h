#pragma once

#include <cstddef>

// Every statement the SQLite store runs, prepared once per connection. Names and paths
// are bound as blobs so that comparisons are exact byte comparisons.
enum class StatementId : size_t
{
    FindKeyByPath,
    KeyExists,
    InsertKey,
    TouchKey,
    KeyHasChildren,
    DeleteKeyValues,
    DeleteKeyRow,
    ListSubkeys,
    UpsertValue,
    QueryValue,
    DeleteValue,
    ListValues,
    InsertChange,
    PruneChanges,
    UpsertVersion,
    SumVersions,
    LastChange,
    FirstChange,
    ChangesAfter,
    Count
};

// SQL text of a statement.
const char* StatementText(StatementId id);

// The schema, applied once per database in a write transaction.
extern const char* const kSchemaSql;
