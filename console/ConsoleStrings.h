#pragma once

#include <string_view>

// The console's string table: the texts of its messages, its list header, its cooperation
// states and its system-menu item, by their identifiers.
enum EStringId : int
{
    IDS_ABOUTBOX = 100,
    IDS_LIST_HEADER = 101,
    IDS_NOT_ADMINISTRATOR = 102,
    IDS_PORT_EMPTY = 103,
    IDS_PORT_WRITE_FAILED = 104,
    IDS_DELETE_CONFIRM = 105,
    IDS_DELETE_DONE = 106,
    IDS_DELETE_FAILED = 107,
    IDS_NOTHING_SELECTED = 108,
    IDS_REGISTER_FAILED = 109,
    IDS_REGISTER_DONE = 110,
    IDS_REGISTER_REPLACE = 111,
    IDS_LOCK_KEY_CORRUPT = 112,
    IDS_PORT_IN_USE = 113,
    IDS_PORT_INVALID = 114,
    IDS_COOPERATION_PERMITTED = 115,
    IDS_COOPERATION_NOT_PERMITTED = 116,
    IDS_PASSWORD_WRITE_FAILED = 117,
    IDS_COPY_FAILED = 118,
    IDS_COPY_NO_CONNECTION = 119,
    IDS_COPY_DONE = 120,
    IDS_PASSWORD_EMPTY = 121,
    IDS_PASSWORD_MISMATCH = 122,
    IDS_FOREIGN_STORE = 123,
};

// Caption of every message box of the console.
inline constexpr std::string_view kMessageCaption = "Halvard";

// The text of a string (UTF-8); empty for an identifier the table does not hold.
std::string_view LoadConsoleString(int id);
