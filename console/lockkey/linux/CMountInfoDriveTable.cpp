#include "CMountInfoDriveTable.h"

#include <fstream>
#include <iterator>
#include <string_view>
#include <unordered_map>
#include <utility>

CMountInfoDriveTable::CMountInfoDriveTable(std::string mountInfoPath) : m_path(std::move(mountInfoPath)) {}

std::vector<CDriveMount> CMountInfoDriveTable::ReadDrives() const
{
    std::ifstream file(m_path, std::ios::binary);
    if (!file) {
        return {};
    }
    const std::string text{std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>()};
    return AssignLetters(CMountInfo::Parse(text));
}

namespace {

// A file system mounted over the same point later in the table hides the earlier one.
std::vector<bool> FindVisible(const std::vector<CMountInfo::Entry>& mounts)
{
    std::unordered_map<std::string_view, size_t> lastAt;
    for (size_t i = 0; i < mounts.size(); ++i) {
        lastAt[mounts[i].mountPoint] = i;
    }
    std::vector<bool> visible(mounts.size());
    for (size_t i = 0; i < mounts.size(); ++i) {
        visible[i] = lastAt[mounts[i].mountPoint] == i;
    }
    return visible;
}

} // namespace

std::vector<CDriveMount> CMountInfoDriveTable::AssignLetters(const std::vector<CMountInfo::Entry>& mounts)
{
    const std::vector<bool> visible = FindVisible(mounts);
    std::vector<CDriveMount> drives;
    std::vector<CBlockDevice> taken;

    for (size_t i = 0; i < mounts.size(); ++i) {
        if (mounts[i].mountPoint == "/" && visible[i]) {
            drives.push_back({'C', mounts[i].mountPoint, mounts[i].device});
            if (mounts[i].device.major != 0) {
                taken.push_back(mounts[i].device);
            }
            break;
        }
    }

    char next = 'D';
    for (size_t i = 0; i < mounts.size() && next <= 'Z'; ++i) {
        const CMountInfo::Entry& mount = mounts[i];
        if (mount.mountPoint == "/" || mount.root != "/" || mount.device.major == 0 || !visible[i]) {
            continue;
        }
        bool seen = false;
        for (const CBlockDevice& device : taken) {
            seen = seen || device == mount.device;
        }
        if (seen) {
            continue;
        }
        taken.push_back(mount.device);
        drives.push_back({next, mount.mountPoint, mount.device});
        ++next;
    }
    return drives;
}
