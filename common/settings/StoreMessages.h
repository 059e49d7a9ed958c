#pragma once

#include "StoreCondition.h"

#include <string>

// What every program tells the administrator about the store, in one line each: what is
// wrong, where, and what to do about it.
namespace StoreMessages {

// The problem found by an inspection for reading, or for changing with forWriting.
std::string Describe(const StoreCondition& condition, bool forWriting);

// The store's verifier names another machine identity.
std::string ForeignIdentity(const std::string& storeFile);

// Where an uninstall kept the copy of the store (copy: its path as the store gave it;
// what: "The keys of 2 registrations were"), and how to restore or delete it.
std::string KeptCopy(const std::string& what, const std::string& copy);

// Why an uninstall that could not keep a copy uninstalled nothing, and what to do.
std::string CopyRefused();

} // namespace StoreMessages
