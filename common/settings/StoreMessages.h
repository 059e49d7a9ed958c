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

} // namespace StoreMessages
