#include "CDriveFiles.h"

#include <dirent.h>
#include <memory>
#include <sys/stat.h>

namespace {

struct DirCloser
{
    void operator()(DIR* dir) const { closedir(dir); }
};
using DirPtr = std::unique_ptr<DIR, DirCloser>;

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool EqualNoCase(std::string_view a, std::string_view b)
{
    if (a.size() != b.size()) {
        return false;
    }
    for (size_t i = 0; i < a.size(); ++i) {
        if (FoldAscii(a[i]) != FoldAscii(b[i])) {
            return false;
        }
    }
    return true;
}

bool Writable(std::string_view name)
{
    return name != "." && name != ".." && name.find_first_of("\\*?") == std::string_view::npos;
}

std::vector<std::string_view> SplitParts(std::string_view path)
{
    std::vector<std::string_view> parts;
    size_t pos = 0;
    while (pos <= path.size()) {
        size_t end = path.find('\\', pos);
        if (end == std::string_view::npos) {
            end = path.size();
        }
        if (end > pos) {
            parts.push_back(path.substr(pos, end - pos));
        }
        pos = end + 1;
    }
    return parts;
}

std::vector<std::string> ListFolder(const std::string& folder)
{
    std::vector<std::string> names;
    const DirPtr dir(opendir(folder.c_str()));
    if (!dir) {
        return names;
    }
    while (const dirent* entry = readdir(dir.get())) {
        names.emplace_back(entry->d_name);
    }
    return names;
}

// The name of the entry of folder that the part names: itself if it exists, else the
// first one that differs only in letter case.
std::optional<std::string> ResolvePart(const std::string& folder, std::string_view part)
{
    if (!Writable(part)) {
        return std::nullopt;
    }
    struct stat info
    {};
    if (lstat((folder + "/" + std::string(part)).c_str(), &info) == 0) {
        return std::string(part);
    }
    for (std::string& name : ListFolder(folder)) {
        if (EqualNoCase(name, part)) {
            return std::move(name);
        }
    }
    return std::nullopt;
}

std::optional<std::string> ResolveParts(std::string path, const std::vector<std::string_view>& parts, size_t count)
{
    for (size_t i = 0; i < count; ++i) {
        const auto name = ResolvePart(path, parts[i]);
        if (!name) {
            return std::nullopt;
        }
        if (path.empty() || path.back() != '/') {
            path += '/';
        }
        path += *name;
    }
    return path;
}

} // namespace

bool CDriveFiles::MatchesPattern(std::string_view name, std::string_view pattern)
{
    // Greedy matching with one back-track point, enough for * and ?.
    size_t n = 0;
    size_t p = 0;
    size_t starAt = std::string_view::npos;
    size_t starName = 0;
    while (n < name.size()) {
        if (p < pattern.size() && (pattern[p] == '?' || FoldAscii(pattern[p]) == FoldAscii(name[n]))) {
            ++n;
            ++p;
        } else if (p < pattern.size() && pattern[p] == '*') {
            starAt = p++;
            starName = n;
        } else if (starAt != std::string_view::npos) {
            p = starAt + 1;
            n = ++starName;
        } else {
            return false;
        }
    }
    while (p < pattern.size() && pattern[p] == '*') {
        ++p;
    }
    return p == pattern.size();
}

std::optional<std::string> CDriveFiles::MountPointOf(std::string_view drivePath) const
{
    if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') {
        return std::nullopt;
    }
    const char letter = drivePath[0];
    const auto drive =
        m_drives->FindDrive((letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter);
    if (!drive) {
        return std::nullopt;
    }
    return drive->mountPoint;
}

std::vector<std::string> CDriveFiles::Search(std::string_view pattern) const
{
    const auto mountPoint = MountPointOf(pattern);
    if (!mountPoint) {
        return {};
    }
    const std::vector<std::string_view> parts = SplitParts(pattern.substr(3));
    if (parts.empty()) {
        return {};
    }
    const auto folder = ResolveParts(*mountPoint, parts, parts.size() - 1);
    if (!folder) {
        return {};
    }
    std::vector<std::string> matches;
    for (std::string& name : ListFolder(*folder)) {
        if (Writable(name) && MatchesPattern(name, parts.back())) {
            matches.push_back(std::move(name));
        }
    }
    return matches;
}

std::optional<std::string> CDriveFiles::HostPath(std::string_view drivePath) const
{
    const auto mountPoint = MountPointOf(drivePath);
    if (!mountPoint) {
        return std::nullopt;
    }
    const std::vector<std::string_view> parts = SplitParts(drivePath.substr(3));
    return ResolveParts(*mountPoint, parts, parts.size());
}
