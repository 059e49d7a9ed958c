#include "WatchSettings.h"

#include "Log.h"
#include "RequestServer.h"
#include "ServiceHost.h"
#include "StoreCheck.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "settings/CKeyStore.h"
#include "settings/RegistryNotify.h"

#include <exception>
#include <string>

namespace {

// A request server that cannot go on stops the service; the reason goes to the log.
int StopOnFailure(ServiceContext& context, CRegistryKey& config, const std::string& reason)
{
    LogLine(reason);
    config.Close();
    Stop(context);
    return 1;
}

} // namespace

int WatchSettings(ServiceContext& context)
{
    Platform::CEvent settingsChanged(false, false);
    const SStoreCheck check = CheckStoreForService();
    if (!check.usable) {
        LogLine(check.reason);
        context.exitCode = check.exitCode;
        Stop(context);
        return 1;
    }
    CKeyStore store;
    while (context.state != kStateStopPending) {
        // Armed before the port is read, so a change made while the listener reopens
        // is not lost; closing the key disarms it.
        CRegistryKey config = store.OpenConfigKey();
        NotifyChangeKeyValue(config.GetHandle(), true, kRegNotifyChangeLastSet, &settingsChanged);
        try {
            RunServer(context, &settingsChanged);
        } catch (const ZiRez::CSocketEvent&) {
            LogLine("settings changed: reopening the listener");
            config.Close();
            continue;
        } catch (const ZiRez::CSocketError& error) {
            return StopOnFailure(context, config,
                                 std::string("listener failed: ") + error.what() + " (code " +
                                     std::to_string(error.GetCode()) + ")");
        } catch (const CStoreUnusable& error) {
            context.exitCode = kExitStoreFailed;
            return StopOnFailure(context, config, error.what());
        } catch (const std::exception& error) {
            return StopOnFailure(context, config, std::string("request server failed: ") + error.what());
        } catch (...) {
            return StopOnFailure(context, config, "request server failed");
        }
        config.Close();
        break;
    }
    return 0;
}
