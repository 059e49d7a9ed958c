#pragma once

#include <string>

// Replaces the metrics file (CMetricsSettings::kFileName) in the folder in one step: the
// text goes to a temporary file beside it, which is flushed to the disk and renamed over
// it, so a collector never reads half a file. False with the system's reason in error.
// linux/ and win32/ implement it.
bool ReplaceMetricsFile(const std::string& directory, const std::string& text, std::string& error);
