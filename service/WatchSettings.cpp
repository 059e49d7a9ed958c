#include "WatchSettings.h"

#include "Log.h"
#include "RequestServer.h"
#include "StoreCheck.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "settings/CKeyStore.h"
#include "settings/RegistryNotify.h"

#include <exception>
#include <string>

namespace {

// A request server that cannot go on stops the service; the reason goes to the log.
int StopOnFailure(CServiceState& state, CRegistryKey& config, const std::string& reason)
{
    LogLine(reason);
    config.Close();
    state.Stop();
    return 1;
}

} // namespace

int WatchSettings(const SServiceParts& parts)
{
    CServiceState& state = parts.state;
    Platform::CEvent settingsChanged(false, false);
    const SStoreCheck check = CheckStoreForService();
    if (!check.usable) {
        LogLine(check.reason);
        state.SetExitCode(check.exitCode);
        state.Stop();
        return 1;
    }
    CKeyStore store;
    while (!state.Stopping()) {
        // Armed before the port is read, so a change made while the listener reopens
        // is not lost; closing the key disarms it.
        CRegistryKey config = store.OpenConfigKey();
        NotifyChangeKeyValue(config.GetHandle(), true, kRegNotifyChangeLastSet, &settingsChanged);
        try {
            RunServer(parts, &settingsChanged);
        } catch (const ZiRez::CSocketEvent&) {
            LogLine("settings changed: reopening the listener");
            config.Close();
            continue;
        } catch (const ZiRez::CSocketError& error) {
            return StopOnFailure(state, config,
                                 std::string("listener failed: ") + error.what() + " (code " +
                                     std::to_string(error.GetCode()) + ")");
        } catch (const CStoreUnusable& error) {
            state.SetExitCode(kExitStoreFailed);
            return StopOnFailure(state, config, error.what());
        } catch (const std::exception& error) {
            return StopOnFailure(state, config, std::string("request server failed: ") + error.what());
        } catch (...) {
            return StopOnFailure(state, config, "request server failed");
        }
        config.Close();
        break;
    }
    return 0;
}
