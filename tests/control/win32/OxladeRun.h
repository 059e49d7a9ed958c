#pragma once

#include <filesystem>
#include <string>
#include <vector>

// One run of Oxlade.exe as an administrator starts it: its exit code, and the last box it
// showed with one of the captions looked for (read, then answered with OK).
struct SOxladeRun
{
    unsigned long exitCode = 0xFFFFFFFF;
    std::string caption;
    std::string text;
};

SOxladeRun RunOxlade(const std::filesystem::path& program, const std::string& commandLine,
                     const std::vector<std::string>& boxCaptions = {});

// Oxlade.exe copied into a folder of its own, with the service's program beside it as
// Ternwick.exe when one is given.
std::filesystem::path StageOxlade(const std::string& name, const char* service = nullptr);
