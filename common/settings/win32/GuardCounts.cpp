#include "settings/GuardCounts.h"

// The counts file lives in the state directory beside the SQLite store; the registry store
// has no such directory, so on Windows there are no counts to write or show: writes fail and
// reads find none, which the service and the tools already report as such.
bool WriteGuardCounts(const SGuardCounts&, const std::string&)
{
    return false;
}

std::optional<SGuardCounts> ReadGuardCounts(const std::string&)
{
    return std::nullopt;
}
