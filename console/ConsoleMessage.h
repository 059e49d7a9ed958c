#pragma once

#include "console/ConsoleStrings.h"

#include <string_view>

// How a message box looks and which buttons it offers.
enum class EMessageStyle
{
    Error,    // stop icon, OK
    Notice,   // no icon, OK
    Question, // no icon, Yes and No
};

enum class EMessageAnswer
{
    Ok,
    Yes,
    No,
};

// One message box of the console: the string shown (its identifier and its text) and its
// style; the caption is always kMessageCaption.
struct SConsoleMessage
{
    EStringId id;
    std::string_view text;
    EMessageStyle style;

    static SConsoleMessage Of(EStringId id, EMessageStyle style) { return {id, LoadConsoleString(id), style}; }
};
