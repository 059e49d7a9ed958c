#include "settings/StoreMessages.h"

#include "platform/SafeText.h"

#include <unistd.h>

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
    case StoreProblem::NoLocation:
        return condition.detail;
    case StoreProblem::Missing:
        return "there is no key store at " + path +
               " yet: nothing is registered (the key service creates it when it first starts, and so does the first "
               "registration)";
    case StoreProblem::Empty:
        return "the key store " + path + " is empty" + With(condition.detail) +
               ": restore it from a backup; or delete it, then import a sealed export (corvane-admin import FILE) or "
               "begin again with an empty store";
    case StoreProblem::NoAccess:
        if (geteuid() != 0) {
            return std::string("you may not ") + (forWriting ? "change" : "read") + " the key store " + path +
                   With(condition.detail) + ": run this as root";
        }
        return "the key store " + path + " refuses root" + With(condition.detail) + ": check its mode and attributes";
    case StoreProblem::ReadOnly:
        return "the key store " + path + " cannot be changed" + With(condition.detail) +
               ": remount its file system read-write, or clear the file's immutable attribute (chattr -i)";
    case StoreProblem::Corrupt:
        return "the key store " + path + " is damaged or no key store" + With(condition.detail) +
               ": restore it from a backup; or move it aside, then import a sealed export (corvane-admin import FILE)";
    case StoreProblem::UnsafeFolder:
        return "the key store's folder " + path + " is refused: " + condition.detail +
               ", so others could replace the store; make it owner-only (chmod 0700 " + path + ") and owned by " +
               (geteuid() == 0 ? std::string("root (chown root: ") : "you (chown $(id -un): ") + path + ")";
    case StoreProblem::Failed:
        break;
    }
    return "the key store " + path + " cannot be used now" + With(condition.detail) +
           ": try again; if it persists, see the key service's log (journalctl -u Ternwick)";
}

std::string ForeignIdentity(const std::string& storeFile)
{
    return "the key store " + storeFile +
           ": store belongs to another machine identity (its keys were masked for another /etc/machine-id), so no key "
           "is read from it; import a sealed export of the keys (corvane-admin import FILE), or put the old "
           "/etc/machine-id back";
}

std::string KeptCopy(const std::string& what, const std::string& copy)
{
    // Shown as one line each, whatever the state folder's name holds.
    const std::string shown = SafeText(copy);
    const std::string folder = SafeText(copy.substr(0, copy.rfind('/')));
    return what + " kept in " + shown +
           " (readable by root only; it restores this machine's key store).\n"
           "  To restore them: Oxlade install; Oxlade stop; cp " +
           shown + " " + folder +
           "/settings.db; Oxlade start\n"
           "  To delete them:  rm " +
           shown + "\n";
}

std::string CopyRefused()
{
    return "Can't keep a copy of the keys beside the key store, so nothing was uninstalled: make room in its folder "
           "and try again, or export the keys (corvane-admin export FILE) and remove the store yourself\n";
}

} // namespace StoreMessages
