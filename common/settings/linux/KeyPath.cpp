#include "KeyPath.h"

#include "keys/AsciiCase.h"
#include "settings/RegistryTypes.h"

namespace KeyPath {

bool IsValidName(std::string_view name, bool keyName)
{
    if (name.size() > kMaxRegistryNameLength || name.find('\0') != std::string_view::npos) {
        return false;
    }
    return !keyName || name.find('\\') == std::string_view::npos;
}

bool Split(std::string_view path, std::vector<std::string_view>& names)
{
    names.clear();
    if (path.empty()) {
        return true;
    }
    size_t start = 0;
    for (;;) {
        const size_t end = path.find('\\', start);
        const std::string_view name = path.substr(start, end == std::string_view::npos ? end : end - start);
        if (name.empty() || !IsValidName(name, true)) {
            return false;
        }
        names.push_back(name);
        if (end == std::string_view::npos) {
            return true;
        }
        start = end + 1;
    }
}

std::string Child(std::string_view parent, std::string_view name)
{
    std::string result;
    result.reserve(parent.size() + 1 + name.size());
    result.append(parent);
    if (!parent.empty()) {
        result.push_back('\\');
    }
    result.append(LowerAscii(name));
    return result;
}

std::string_view Parent(std::string_view path)
{
    const size_t slash = path.rfind('\\');
    return slash == std::string_view::npos ? std::string_view() : path.substr(0, slash);
}

bool IsAtOrBelow(std::string_view path, std::string_view base)
{
    if (base.empty()) {
        return true;
    }
    return path.size() >= base.size() && path.substr(0, base.size()) == base &&
           (path.size() == base.size() || path[base.size()] == '\\');
}

std::vector<std::string_view> SelfAndAncestors(std::string_view path)
{
    std::vector<std::string_view> result;
    std::string_view current = path;
    for (;;) {
        result.push_back(current);
        if (current.empty()) {
            return result;
        }
        current = Parent(current);
    }
}

} // namespace KeyPath
