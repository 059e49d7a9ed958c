#pragma once

#include "RegistryTypes.h"
#include "platform/CEvent.h"

#include <cstdint>

// Arms a one-shot change notification on an open key: the event is signalled once when,
// after this call, a value of the key is created, replaced or deleted (filter
// kRegNotifyChangeLastSet) or a subkey is created or deleted (kRegNotifyChangeName);
// with watchSubtree the same holds for every key below. Writes by other processes count.
// Closing the key handle disarms it: the event is not touched after the close returns.
int32_t NotifyChangeKeyValue(RegistryHandle key, bool watchSubtree, uint32_t filter, Platform::CEvent* event);
