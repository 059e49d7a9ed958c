#pragma once

#include "service/CStatusReporter.h"

#include <atomic>

// Reports to systemd through its notification socket: STATUS= with the state's text on
// every report, READY=1 with the first running report and STOPPING=1 with stop pending.
// Without NOTIFY_SOCKET in the environment every report is a no-op.
class CSystemdStatusReporter : public CStatusReporter
{
public:
    bool Report(const ServiceStatus& status) override;

private:
    std::atomic<bool> m_readySent{false};
};
