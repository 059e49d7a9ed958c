#include "service/LogSink.h"

#include "service/CDescriptorSink.h"

// Standard error, which a service started by the service control manager has turned into
// its log file (see ProcessEntry.cpp).
std::unique_ptr<CLogSink> NewProcessLogSink()
{
    return std::make_unique<CDescriptorSink>(2);
}
