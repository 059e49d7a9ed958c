#include "service/linux/CSystemdStatusReporter.h"

#include <string>
#include <systemd/sd-daemon.h>

bool CSystemdStatusReporter::Report(const ServiceStatus& status)
{
    std::string message;
    if (status.currentState == kServiceRunning && !m_readySent.exchange(true)) {
        message += "READY=1\n";
    } else if (status.currentState == kServiceStopPending) {
        message += "STOPPING=1\n";
    }
    message += "STATUS=";
    message += StatusText(status.currentState);
    // Without a notification socket sd_notify returns 0; only a failed send is negative.
    return sd_notify(0, message.c_str()) >= 0;
}
