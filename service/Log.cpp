#include "Log.h"

#include "CLogQueue.h"
#include "platform/SafeText.h"

#include <algorithm>

void LogLine(std::string_view line)
{
    LogLine(line, {});
}

void LogLine(std::string_view line, std::span<const SLogField> fields)
{
    // Lines carry paths and peer texts: none may split a line or act on a terminal. Request
    // lines come escaped already and are passed on without a copy.
    const bool plain = std::all_of(line.begin(), line.end(), [](char c) {
        const auto byte = static_cast<unsigned char>(c);
        return byte >= 0x20 && byte < 0x7F;
    });
    CLogQueue::Process().Add(plain ? line : std::string_view(SafeText(line)), fields);
}

bool LogTakesFields()
{
    return CLogQueue::Process().TakesFields();
}

bool DrainLog(int timeOutMs)
{
    return CLogQueue::Process().Drain(std::chrono::milliseconds(timeOutMs));
}
