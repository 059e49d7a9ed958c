#pragma once

#include "platform/ServiceStatus.h"

// Where the service's status reports go: the service manager of the platform, or a
// recorder in tests.
class CStatusReporter
{
public:
    virtual ~CStatusReporter() = default;
    // False when the report could not be delivered (nothing else depends on it).
    virtual bool Report(const ServiceStatus& status) = 0;
};
