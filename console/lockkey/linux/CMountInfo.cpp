#include "CMountInfo.h"

#include <charconv>
#include <optional>

namespace {

std::vector<std::string_view> SplitFields(std::string_view line)
{
    std::vector<std::string_view> fields;
    size_t pos = 0;
    while (pos < line.size()) {
        const size_t start = line.find_first_not_of(' ', pos);
        if (start == std::string_view::npos) {
            break;
        }
        size_t end = line.find(' ', start);
        if (end == std::string_view::npos) {
            end = line.size();
        }
        fields.push_back(line.substr(start, end - start));
        pos = end;
    }
    return fields;
}

std::optional<uint32_t> ParseNumber(std::string_view text)
{
    uint32_t value = 0;
    const auto [end, error] = std::from_chars(text.data(), text.data() + text.size(), value);
    if (error != std::errc() || end != text.data() + text.size() || text.empty()) {
        return std::nullopt;
    }
    return value;
}

std::optional<CBlockDevice> ParseDevice(std::string_view text)
{
    const size_t colon = text.find(':');
    if (colon == std::string_view::npos) {
        return std::nullopt;
    }
    const auto major = ParseNumber(text.substr(0, colon));
    const auto minor = ParseNumber(text.substr(colon + 1));
    if (!major || !minor) {
        return std::nullopt;
    }
    return CBlockDevice{*major, *minor};
}

bool IsOctal(char c)
{
    return c >= '0' && c <= '7';
}

} // namespace

std::string CMountInfo::Unescape(std::string_view field)
{
    std::string result;
    result.reserve(field.size());
    for (size_t i = 0; i < field.size(); ++i) {
        if (field[i] == '\\' && i + 3 < field.size() && IsOctal(field[i + 1]) && IsOctal(field[i + 2]) &&
            IsOctal(field[i + 3])) {
            const int value = (field[i + 1] - '0') * 64 + (field[i + 2] - '0') * 8 + (field[i + 3] - '0');
            result.push_back(static_cast<char>(value & 0xFF));
            i += 3;
        } else {
            result.push_back(field[i]);
        }
    }
    return result;
}

std::vector<CMountInfo::Entry> CMountInfo::Parse(std::string_view text)
{
    std::vector<Entry> entries;
    size_t pos = 0;
    while (pos < text.size()) {
        size_t end = text.find('\n', pos);
        if (end == std::string_view::npos) {
            end = text.size();
        }
        const std::string_view line = text.substr(pos, end - pos);
        pos = end + 1;

        // id parent major:minor root mount-point options [optional fields...] - type source super-options
        const std::vector<std::string_view> fields = SplitFields(line);
        if (fields.size() < 7) {
            continue;
        }
        size_t separator = 6;
        while (separator < fields.size() && fields[separator] != "-") {
            ++separator;
        }
        if (separator + 1 >= fields.size()) {
            continue;
        }
        const auto device = ParseDevice(fields[2]);
        if (!device) {
            continue;
        }
        Entry entry;
        entry.device = *device;
        entry.root = Unescape(fields[3]);
        entry.mountPoint = Unescape(fields[4]);
        entry.fsType = Unescape(fields[separator + 1]);
        if (separator + 2 < fields.size()) {
            entry.source = Unescape(fields[separator + 2]);
        }
        entries.push_back(std::move(entry));
    }
    return entries;
}
