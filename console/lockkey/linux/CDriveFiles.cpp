#include "console/lockkey/CDriveFiles.h"

#include "console/lockkey/linux/CDriveFolder.h"

#include <optional>
#include <utility>

namespace {

char FoldAscii(char c)
{
    return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

bool Writable(std::string_view name)
{
    return name.find_first_of("\\*?") == std::string_view::npos;
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

// The folder that holds the last part of the name, entered part by part; nullopt with the
// fault in result when it cannot be reached.
std::optional<CDriveFolder> FolderOf(const CDriveTable& drives, std::string_view drivePath, std::string& last,
                                     SDriveFile& result)
{
    result.fault = EDriveFileFault::Missing;
    if (drivePath.size() < 3 || drivePath[1] != ':' || drivePath[2] != '\\') {
        return std::nullopt;
    }
    const char letter = drivePath[0];
    const auto drive =
        drives.FindDrive((letter >= 'a' && letter <= 'z') ? static_cast<char>(letter - 'a' + 'A') : letter);
    const std::vector<std::string_view> parts = SplitParts(drivePath.substr(3));
    if (!drive || parts.empty()) {
        return std::nullopt;
    }
    CDriveFolder folder(drive->mountPoint);
    result.fault = folder.Fault();
    while (result.fault == EDriveFileFault::None && result.part + 1 < parts.size()) {
        const std::string_view part = parts[result.part];
        result.fault = Writable(part) ? folder.Enter(part) : EDriveFileFault::Missing;
        if (result.fault == EDriveFileFault::None) {
            ++result.part;
        }
    }
    if (result.fault != EDriveFileFault::None) {
        return std::nullopt;
    }
    last = parts.back();
    return folder;
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

std::vector<std::string> CDriveFiles::Search(std::string_view pattern) const
{
    std::string last;
    SDriveFile result;
    const auto folder = FolderOf(*m_drives, pattern, last, result);
    if (!folder) {
        return {};
    }
    std::vector<std::string> matches;
    for (std::string& name : folder->List()) {
        if (Writable(name) && MatchesPattern(name, last)) {
            matches.push_back(std::move(name));
        }
    }
    return matches;
}

SDriveFile CDriveFiles::Locate(std::string_view drivePath) const
{
    std::string last;
    SDriveFile result;
    const auto folder = FolderOf(*m_drives, drivePath, last, result);
    if (folder && !(Writable(last) && folder->Holds(last))) {
        result.fault = EDriveFileFault::Missing;
    }
    return result;
}

SDriveFile CDriveFiles::OpenFile(std::string_view drivePath) const
{
    std::string last;
    SDriveFile result;
    const auto folder = FolderOf(*m_drives, drivePath, last, result);
    if (folder) {
        result.fault = Writable(last) ? folder->OpenFile(last, result.file) : EDriveFileFault::Missing;
    }
    return result;
}
