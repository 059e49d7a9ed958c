#pragma once

class CSettingsStore;

// The platform's own settings store, made once for the process (SettingsStore() calls it):
// SQLite in the state directory on Linux, the registry on Windows.
CSettingsStore* NewPlatformStore();
