#include "Log.h"

#include "CLogQueue.h"

void LogLine(std::string_view line)
{
    CLogQueue::Process().Add(line);
}

bool DrainLog(int timeOutMs)
{
    return CLogQueue::Process().Drain(std::chrono::milliseconds(timeOutMs));
}
