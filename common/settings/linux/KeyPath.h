#pragma once

#include <string>
#include <string_view>
#include <vector>

// Paths of the store are key names joined with backslashes. The folded form (ASCII
// lower case) identifies a key or value: names are unique without regard to a-z/A-Z.
namespace KeyPath {

// A name the store can hold: no NUL byte, at most 512 bytes, no backslash (key names
// only; value names may hold one).
bool IsValidName(std::string_view name, bool keyName);

// Splits a relative path into names; false when a name is empty or invalid. An empty
// path gives no names (the key itself).
bool Split(std::string_view path, std::vector<std::string_view>& names);

// The folded path of name below the folded path parent.
std::string Child(std::string_view parent, std::string_view name);

// The folded path of the parent ("" for a key directly below the root).
std::string_view Parent(std::string_view path);

// True when path is base or lies below it (any depth); everything lies below "".
bool IsAtOrBelow(std::string_view path, std::string_view base);

// base and each of its ancestors, up to "".
std::vector<std::string_view> SelfAndAncestors(std::string_view path);

} // namespace KeyPath
