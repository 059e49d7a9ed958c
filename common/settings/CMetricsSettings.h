#pragma once

#include <string>

// Where the key service writes its metrics for a Prometheus text-file collector, kept in
// "Config" beside the port: a folder, or none (the metrics are off). Results are 1 or 0;
// nothing throws.
class CMetricsSettings
{
public:
    static constexpr const char* kDirectoryValue = "MetricsDir";
    // The file the service replaces in that folder.
    static constexpr const char* kFileName = "corvane_keyserver.prom";

    // The folder, "" when none is set; 0 (folder unchanged) when "Config" cannot be read.
    static int Read(std::string& directory);
    // "" deletes the value (the metrics are off).
    static int Write(const std::string& directory);
};
