#include "settings/StoreMessages.h"

#include "platform/SafeText.h"
#include "settings/CKeyStore.h"

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

std::string KeptCopy(const std::string& what, const std::string& copy)
{
    // A registry hive: reg restore puts it in place of the branch, which the service
    // creates when it starts (reg import takes .reg text, not a hive).
    const std::string shown = "\"" + SafeText(copy) + "\"";
    return what + " kept in " + shown +
           " (readable by administrators only; it restores this machine's key store).\n"
           "  To restore them: Oxlade install; Oxlade stop; reg restore HKLM\\" +
           CKeyStore::kProductPath + " " + shown +
           "; Oxlade start\n"
           "  To delete them:  del " +
           shown + "\n";
}

std::string CopyRefused()
{
    return "Can't keep a copy of the keys in the program data folder (%ProgramData%\\Quillon\\CorvaneKeyServer), so "
           "nothing was uninstalled: make room there and try again, or export the keys (corvane-admin export FILE) "
           "and delete the key store yourself (reg delete HKLM\\" +
           std::string(CKeyStore::kProductPath) + " /f)\n";
}

} // namespace StoreMessages
