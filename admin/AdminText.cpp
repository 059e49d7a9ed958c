#include "AdminText.h"

#include "console/lockkey/CLockKeyEntry.h"
#include "keys/AsciiCase.h"

#include <chrono>
#include <cstdio>

namespace {

constexpr size_t kIdsNamed = 5;

} // namespace

std::vector<std::string> UpperIds(const std::vector<std::string>::const_iterator& first,
                                  const std::vector<std::string>::const_iterator& last)
{
    std::vector<std::string> ids;
    for (auto id = first; id != last; ++id) {
        ids.push_back(UpperAscii(*id));
    }
    return ids;
}

std::string JoinIds(const std::vector<std::string>& ids)
{
    const size_t named = ids.size() > kIdsNamed + 1 ? kIdsNamed : ids.size();
    std::string text;
    for (size_t i = 0; i < named; ++i) {
        text += i == 0 ? "" : (i + 1 == ids.size() ? " and " : ", ");
        text += ids[i];
    }
    if (named < ids.size()) {
        text += " and " + std::to_string(ids.size() - named) + " more";
    }
    return text;
}

std::string CountOf(size_t count, const std::string& noun)
{
    return std::to_string(count) + " " + noun + (count == 1 ? "" : "s");
}

std::optional<std::string> UtcMinuteText(int64_t seconds)
{
    // The calendar of the standard library: no C library call, whose range and thread
    // safety differ by system.
    constexpr int64_t kFirst = -62135596800; // 0001-01-01 00:00
    constexpr int64_t kLast = 253402300799;  // 9999-12-31 23:59:59
    if (seconds < kFirst || seconds > kLast) {
        return std::nullopt;
    }
    using namespace std::chrono;
    const sys_seconds time{std::chrono::seconds(seconds)};
    const sys_days day = floor<days>(time);
    const year_month_day date(day);
    const hh_mm_ss clock(time - day);
    char text[32];
    std::snprintf(text, sizeof text, "%04d-%02u-%02u %02d:%02d UTC", static_cast<int>(date.year()),
                  static_cast<unsigned>(date.month()), static_cast<unsigned>(date.day()),
                  static_cast<int>(clock.hours().count()), static_cast<int>(clock.minutes().count()));
    return text;
}

std::string FaultText(ELockKeyFault fault)
{
    switch (fault) {
    case ELockKeyFault::None:
        return "ready";
    case ELockKeyFault::UnknownUsbIdentity:
        return "its stick has no USB identity that Windows would use (no serial number, one with characters "
               "Windows replaces, or a device of several functions)";
    case ELockKeyFault::NoKeyFile:
        return "the key file is gone";
    case ELockKeyFault::NotAFile:
        return "the key file's name holds a folder, not a file";
    case ELockKeyFault::DeviceNode:
        return "the key file's name holds a device node, not a file (it was not opened)";
    case ELockKeyFault::FifoOrSocket:
        return "the key file's name holds a FIFO or a socket, not a file (it was not opened)";
    case ELockKeyFault::LinkedKeyFile:
        return "the key file is a symbolic link (links are not followed: the key must lie on the stick itself)";
    case ELockKeyFault::LinkedKeyFolder:
        return "the key folder is a symbolic link (links are not followed: the key must lie on the stick itself)";
    case ELockKeyFault::LinkedFolder:
        return "a folder on the key file's path is a symbolic link (links are not followed)";
    case ELockKeyFault::OffTheStick:
        return "the key folder or key file lies on another file system mounted on the drive, not on the drive "
               "itself";
    case ELockKeyFault::Unreadable:
        return "the key file cannot be read";
    case ELockKeyFault::TooShort:
        return "the key file is shorter than 32 bytes";
    case ELockKeyFault::NoId:
        return "its folder name does not begin with dont_delete_ in lower case, or its key file is not named by "
               "the 12-character ID";
    }
    return "unknown fault";
}

std::string FaultAdvice(ELockKeyFault fault)
{
    switch (fault) {
    case ELockKeyFault::UnknownUsbIdentity:
        return "register it on Windows, or fetch the key from a key server that has it";
    case ELockKeyFault::NoKeyFile:
    case ELockKeyFault::Unreadable:
        return "check that the stick is plugged in and mounted, then try again";
    case ELockKeyFault::NoId:
    case ELockKeyFault::LinkedKeyFile:
    case ELockKeyFault::LinkedKeyFolder:
    case ELockKeyFault::LinkedFolder:
    case ELockKeyFault::DeviceNode:
    case ELockKeyFault::FifoOrSocket:
        return "the stick is not as it was made: get the key from the unit's supplier";
    case ELockKeyFault::OffTheStick:
        return "unmount what is mounted on the drive's folders, then try again";
    default:
        return "the lock key is damaged: get the key from the unit's supplier";
    }
}
