#include "settings/StoreMessages.h"

namespace StoreMessages {

namespace {

std::string With(const std::string& detail)
{
    return detail.empty() ? std::string() : " (" + detail + ")";
}

} // namespace

std::string Describe(const StoreCondition& condition, bool forWriting)
{
    const std::string& path = condition.path;
    switch (condition.problem) {
    case StoreProblem::None:
        return {};
    case StoreProblem::Missing:
        return "there is no key store at " + path +
               " yet: nothing is registered (the key service creates it when it first starts, and so does the first "
               "registration)";
    case StoreProblem::NoAccess:
        return std::string("you may not ") + (forWriting ? "change" : "read") + " the key store " + path +
               With(condition.detail) + ": run this as an administrator";
    case StoreProblem::NoLocation:
    case StoreProblem::Empty:
    case StoreProblem::ReadOnly:
    case StoreProblem::Corrupt:
    case StoreProblem::UnsafeFolder:
    case StoreProblem::Failed:
        break;
    }
    return "the key store " + path + " cannot be used now" + With(condition.detail) +
           ": try again; if it persists, see the key service's log";
}

std::string ForeignIdentity(const std::string& storeFile)
{
    return "the key store " + storeFile +
           ": store belongs to another machine identity (its keys were masked for another computer security "
           "identifier), so no key is read from it; import a sealed export of the keys (corvane-admin import FILE)";
}

} // namespace StoreMessages
