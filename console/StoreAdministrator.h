#pragma once

class CKeyStore;

// Whether the user of this process administers the key server here and may change its
// store: on Windows a member of the built-in administrators group; elsewhere a user who
// may write the store.
bool IsStoreAdministrator(CKeyStore& store);
