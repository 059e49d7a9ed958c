#pragma once

#include <cstddef>
#include <string>

// The files of export and import, and the name the export records, as the system has them:
// linux/ and win32/ implement this. Errors come back as the system's text, empty on success.
namespace ExportFiles {

// Something has the name already (a dangling link too).
bool Exists(const std::string& path);

// The bytes of a regular file no larger than limit, read into memory of its size. Nothing
// else is opened or waited for: a link (not followed), a FIFO, a device or a folder is
// refused, and so is a file larger than limit, before anything is read.
std::string Read(const std::string& path, size_t limit, std::string& bytes);

// Writes the bytes to a new file, owner-only from its first moment and complete before it
// has the name: never a file half written, never one replaced unless replace is set. The
// error of a name that exists is "it exists already".
std::string WriteNew(const std::string& path, const std::string& bytes, bool replace);

// This computer's host name; empty when it has none.
std::string HostName();

} // namespace ExportFiles
