#pragma once

#include "service/CStatusReporter.h"

#include <atomic>

// Status reports to the Windows service control manager (SetServiceStatus) once the
// control handler is registered; a service started by hand has no manager, and its
// reports go nowhere.
class CScmStatusReporter : public CStatusReporter
{
public:
    bool Report(const ServiceStatus& status) override;

    // The handle RegisterServiceCtrlHandlerEx gave the process (null: none).
    static void SetStatusHandle(void* handle);

private:
    std::atomic<uint32_t> m_checkPoint{0};
};
