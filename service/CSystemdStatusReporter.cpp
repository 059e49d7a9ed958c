#include "CSystemdStatusReporter.h"

#include <string>
#include <systemd/sd-daemon.h>

bool CSystemdStatusReporter::Report(const ServiceStatus& status)
{
    std::string message;
    if (status.currentState == SERVICE_RUNNING && !m_readySent.exchange(true)) {
        message += "READY=1\n";
    } else if (status.currentState == SERVICE_STOP_PENDING) {
        message += "STOPPING=1\n";
    }
    message += "STATUS=";
    message += StatusText(status.currentState);
    // Without a notification socket sd_notify returns 0; only a failed send is negative.
    return sd_notify(0, message.c_str()) >= 0;
}
