#include "WatchSettings.h"

#include "Log.h"
#include "RequestServer.h"
#include "ServiceHost.h"
#include "net/CSocketError.h"
#include "net/CSocketEvent.h"
#include "settings/CKeyStore.h"
#include "settings/RegistryNotify.h"

#include <exception>
#include <string>

int WatchSettings(ServiceContext& context)
{
    Platform::CEvent settingsChanged(false, false);
    CKeyStore store;
    if (!store.LayoutExists()) {
        store.CreateLayout();
    }
    while (context.state != kStateStopPending) {
        // Armed before the port is read, so a change made while the listener reopens
        // is not lost; closing the key disarms it.
        CRegistryKey config = store.OpenConfigKey();
        NotifyChangeKeyValue(config.GetHandle(), true, REG_NOTIFY_CHANGE_LAST_SET, &settingsChanged);
        try {
            RunServer(context, &settingsChanged);
        } catch (const ZiRez::CSocketEvent&) {
            LogLine("settings changed: reopening the listener");
            config.Close();
            continue;
        } catch (const ZiRez::CSocketError& error) {
            LogLine(std::string("listener failed: ") + error.what() + " (code " + std::to_string(error.GetCode()) +
                    ")");
            config.Close();
            Stop(context);
            return 1;
        } catch (const std::exception& error) {
            LogLine(std::string("request server failed: ") + error.what());
            config.Close();
            Stop(context);
            return 1;
        } catch (...) {
            LogLine("request server failed");
            config.Close();
            Stop(context);
            return 1;
        }
        config.Close();
        break;
    }
    return 0;
}
