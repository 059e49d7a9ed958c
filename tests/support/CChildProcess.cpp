#include "CChildProcess.h"

#include <sstream>

namespace Harness {

std::string CChildProcess::ReadAll()
{
    std::string text;
    char buffer[4096];
    long got;
    while ((got = Read(buffer, sizeof buffer)) > 0) {
        text.append(buffer, static_cast<size_t>(got));
    }
    return text;
}

int RunProgram(const std::vector<std::string>& argv, const std::vector<std::string>& environment, std::string* out,
               SChildStream::EKind error)
{
    CChildProcess child;
    CChildProcess::SOptions options;
    options.environment = environment;
    options.error.kind = error;
    if (out != nullptr) {
        options.output.kind = SChildStream::EKind::Pipe;
    }
    if (!child.Start(argv, options)) {
        return -1;
    }
    if (out != nullptr) {
        *out = child.ReadAll();
    }
    // Nothing is left to wait for once the output ended, but for the exit itself.
    const std::optional<int> status = child.WaitExit(120000);
    return status ? CChildProcess::ExitCode(*status) : -1;
}

int RunQuietly(const std::string& command)
{
    std::vector<std::string> words;
    std::istringstream split(command);
    for (std::string word; split >> word;) {
        words.push_back(word);
    }
    std::string said;
    return RunProgram(words, {}, &said, SChildStream::EKind::SameAsOutput);
}

} // namespace Harness
