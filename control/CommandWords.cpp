#include "CommandWords.h"

#include "keys/AsciiCase.h"

namespace {

struct CommandWord
{
    const char* word;
    uint32_t flags;
};

constexpr CommandWord kCommandWords[] = {
    {"install", kCommandInstall | kCommandStart},
    {"uninstall", kCommandStop | kCommandUninstall},
    {"start", kCommandStart},
    {"stop", kCommandStop},
    {"suspend", kCommandSuspend},
    {"resume", kCommandResume},
    {"status", kCommandStatus},
};

} // namespace

uint32_t ParseCommandWord(std::string_view commandLine)
{
    const std::string lower = LowerAscii(commandLine);
    for (const auto& command : kCommandWords) {
        if (lower == command.word) {
            return command.flags;
        }
    }
    return 0;
}

std::string JoinArguments(int argc, const char* const* argv)
{
    std::string line;
    for (int i = 1; i < argc; ++i) {
        if (i > 1) {
            line += ' ';
        }
        line += argv[i];
    }
    return line;
}
