#include "Statements.h"

#include <array>

namespace {

// keys.path is the ASCII-folded full path below the root ('' for the root itself), so
// one indexed lookup resolves a path and uniqueness without regard to case is a
// constraint. changes is the log other processes read to learn of commits; versions
// keeps, per folded path, the sequence number of the last change at or below it (kind
// 0) and of the last creation or deletion of that key itself (kind 1).
constexpr std::array<const char*, static_cast<size_t>(StatementId::Count)> kStatements = {
    "SELECT id FROM keys WHERE path = ?1",
    "SELECT 1 FROM keys WHERE id = ?1",
    "INSERT INTO keys(parent, name, path, written) VALUES(?1, ?2, ?3, ?4)",
    "UPDATE keys SET written = ?2 WHERE id = ?1",
    "SELECT 1 FROM keys WHERE parent = ?1 LIMIT 1",
    "DELETE FROM vals WHERE key = ?1",
    "DELETE FROM keys WHERE id = ?1",
    "SELECT name, written FROM keys WHERE parent = ?1 ORDER BY path",
    "INSERT INTO vals(key, folded, name, type, data) VALUES(?1, ?2, ?3, ?4, ?5) "
    "ON CONFLICT(key, folded) DO UPDATE SET type = excluded.type, data = excluded.data",
    "SELECT type, data FROM vals WHERE key = ?1 AND folded = ?2",
    "DELETE FROM vals WHERE key = ?1 AND folded = ?2",
    "SELECT name, type, data FROM vals WHERE key = ?1 ORDER BY folded",
    "INSERT INTO changes(path, kind) VALUES(?1, ?2)",
    "DELETE FROM changes WHERE seq <= ?1",
    "INSERT INTO versions(path, kind, seq) VALUES(?1, ?2, ?3) "
    "ON CONFLICT(path, kind) DO UPDATE SET seq = excluded.seq",
    "SELECT coalesce(sum(seq), 0) FROM versions WHERE (path = ?1 AND kind = 0) OR (path = ?2 AND kind = 1)",
    "SELECT coalesce(max(seq), 0) FROM changes",
    "SELECT coalesce(min(seq), 0) FROM changes",
    "SELECT seq, path, kind FROM changes WHERE seq > ?1 ORDER BY seq",
};

} // namespace

const char* StatementText(StatementId id)
{
    return kStatements[static_cast<size_t>(id)];
}

const char* const kSchemaSql = R"sql(
CREATE TABLE IF NOT EXISTS keys(
    id INTEGER PRIMARY KEY AUTOINCREMENT,
    parent INTEGER,
    name BLOB NOT NULL,
    path BLOB NOT NULL UNIQUE,
    written INTEGER NOT NULL DEFAULT 0);
CREATE INDEX IF NOT EXISTS keys_by_parent ON keys(parent, path);
CREATE TABLE IF NOT EXISTS vals(
    key INTEGER NOT NULL,
    folded BLOB NOT NULL,
    name BLOB NOT NULL,
    type INTEGER NOT NULL,
    data BLOB NOT NULL,
    PRIMARY KEY(key, folded)) WITHOUT ROWID;
CREATE TABLE IF NOT EXISTS changes(
    seq INTEGER PRIMARY KEY AUTOINCREMENT,
    path BLOB NOT NULL,
    kind INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS versions(
    path BLOB NOT NULL,
    kind INTEGER NOT NULL,
    seq INTEGER NOT NULL,
    PRIMARY KEY(path, kind)) WITHOUT ROWID;
INSERT OR IGNORE INTO keys(id, parent, name, path) VALUES(1, NULL, x'', x'');
INSERT OR IGNORE INTO keys(id, parent, name, path)
    VALUES(2, 1, CAST('SOFTWARE' AS BLOB), CAST('software' AS BLOB));
)sql";
