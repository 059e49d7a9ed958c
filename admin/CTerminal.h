#pragma once

#include <optional>
#include <string>

// The terminal of the administrator who runs corvane-admin: questions, passwords typed
// without echo, and a progress line. Without one, nothing is asked and nothing waits.
class CTerminal
{
public:
    virtual ~CTerminal() = default;

    // Someone can answer: questions and passwords can be asked.
    virtual bool IsInteractive() = 0;
    // Asks a yes/no question; true only for an answer of y or yes.
    virtual bool Ask(const std::string& question) = 0;
    // A line typed without echo; nullopt when it was not given (end of input).
    virtual std::optional<std::string> ReadSecret(const std::string& prompt) = 0;

    // Progress is shown only on a terminal, as one line rewritten in place.
    virtual bool ShowsProgress() = 0;
    virtual void Progress(const std::string& line) = 0;
    virtual void EndProgress() = 0;
};
