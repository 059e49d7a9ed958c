// The state directory on Windows: the program data folder, or CORVANE_STATE_DIR when it is
// set to an absolute path; set to anything else it names no folder and says why.
#include "platform/StateDirectory.h"

#include "platform/win32/Win32.h"

#include <gtest/gtest.h>
#include <string>

namespace {

TEST(StateDirectory, TheProgramDataFolderUnlessTheVariableNamesAnAbsoluteOne)
{
    // A service's environment may name another folder (Wine gives services C:\users\Public):
    // the folder is the machine's all the same.
    SetEnvironmentVariableW(L"ProgramData", L"C:\\users\\Public");
    const struct
    {
        const wchar_t* variable; // nullptr: not set
        std::string directory;
        bool problem;
    } cases[] = {
        {nullptr, "C:\\ProgramData\\Quillon\\CorvaneKeyServer", false},
        {L"D:\\keys", "D:\\keys", false},
        {L"\\\\server\\share\\keys", "\\\\server\\share\\keys", false},
        {L"keys", "", true},
        {L"\\keys", "", true},
        {L"", "", true},
    };
    for (const auto& c : cases) {
        SetEnvironmentVariableW(L"CORVANE_STATE_DIR", c.variable);
        EXPECT_EQ(Platform::StateDirectory(), c.directory) << c.directory;
        EXPECT_EQ(Platform::StateDirectoryProblem().empty(), !c.problem) << Platform::StateDirectoryProblem();
    }
    SetEnvironmentVariableW(L"CORVANE_STATE_DIR", nullptr);
}

} // namespace
