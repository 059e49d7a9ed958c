#include "CChangeLog.h"

#include "CStatement.h"
#include "KeyPath.h"

#include <sqlite3.h>

namespace {

// The log keeps this many recent changes; a watcher that fell further behind fires
// rather than miss one.
constexpr int64_t kKeptChanges = 4096;
constexpr int64_t kPruneEvery = 256;

bool Bump(CSqliteConnection& connection, std::string_view path, int64_t kind, int64_t seq)
{
    return CStatement(connection, StatementId::UpsertVersion).Bind(1, path).Bind(2, kind).Bind(3, seq).Run();
}

} // namespace

bool CChangeLog::Record(CSqliteConnection& connection, std::string_view path, int64_t kind)
{
    if (!CStatement(connection, StatementId::InsertChange).Bind(1, path).Bind(2, kind).Run()) {
        return false;
    }
    const int64_t seq = sqlite3_last_insert_rowid(connection.Handle());
    // Subtree versions: the key and all its ancestors changed at seq.
    for (std::string_view at : KeyPath::SelfAndAncestors(path)) {
        if (!Bump(connection, at, 0, seq)) {
            return false;
        }
    }
    if ((kind == kKeyCreated || kind == kKeyDeleted) && !Bump(connection, path, 1, seq)) {
        return false;
    }
    if (seq % kPruneEvery == 0 &&
        !CStatement(connection, StatementId::PruneChanges).Bind(1, seq - kKeptChanges).Run()) {
        return false;
    }
    return true;
}

int64_t CChangeLog::Newest(CSqliteConnection& connection)
{
    CStatement statement(connection, StatementId::LastChange);
    if (!statement.Step()) {
        return -1;
    }
    return statement.Integer(0);
}
