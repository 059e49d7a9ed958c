#pragma once

#include "settings/StoreCondition.h"

#include <string>

// The folder and the file of the SQLite store, looked at without changing them, and the
// folder made when a first change needs it.
namespace StoreFiles {

// Whether the folder may hold this process's store: it exists (else Missing), is a
// folder, cannot be written by group or others, and belongs to this user or to root.
StoreCondition InspectFolder(const std::string& directory);

// Whether the store file can be used as asked: it exists (else Missing), is a regular
// file and no link, holds something (else Empty), and may be read, or read and changed
// with its folder when forWriting. Looks at the folder first.
StoreCondition InspectFile(const std::string& directory, const std::string& file, bool forWriting);

// Whether this process could create the folder and the store in it: the nearest folder
// that exists may be written.
StoreCondition InspectCreation(const std::string& directory);

// Creates the folder, and any missing parent, owner-only; 0 or the system error.
int MakeFolder(const std::string& path);

} // namespace StoreFiles
