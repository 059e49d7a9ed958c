#pragma once

#include <cstdint>
#include <string>
#include <string_view>

// The flags of a command; each command word stands for a fixed set of them.
inline constexpr uint32_t kCommandInstall = 1;
inline constexpr uint32_t kCommandUninstall = 2;
inline constexpr uint32_t kCommandStart = 4;
inline constexpr uint32_t kCommandStop = 8;
inline constexpr uint32_t kCommandSuspend = 16;
inline constexpr uint32_t kCommandResume = 32;
inline constexpr uint32_t kCommandStatus = 64;

// The flag set of a whole command line, compared without regard to ASCII letter case and
// without trimming; 0 for anything else, the empty line included.
uint32_t ParseCommandWord(std::string_view commandLine);

// The command line as the program sees it: its arguments joined by one blank.
std::string JoinArguments(int argc, const char* const* argv);
