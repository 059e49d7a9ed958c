#pragma once

#include <optional>
#include <string>
#include <string_view>

// The informational options every program answers before it does anything else: no
// store is opened, no port bound, no window shown.
enum class EInfoOption
{
    None,
    Help,    // --help, -h
    Version, // --version
};

EInfoOption InfoOption(std::string_view argument);

// "NAME (Corvane Key Server) VERSION", one line.
std::string VersionLine(std::string_view program);

// What a terminal program prints for an informational option: usage for --help, the
// version line for --version; nothing for any other argument.
std::optional<std::string> InfoText(std::string_view argument, std::string_view usage, std::string_view program);
