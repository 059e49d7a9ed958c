#pragma once

#include <cstddef>
#include <limits>
#include <string>
#include <string_view>

// How SafeText writes bytes from outside (peers, sticks, the store, file names).
struct SSafeTextRules
{
    // Bytes shown before the rest is summed up as "...(N bytes)".
    size_t limit = std::numeric_limits<size_t>::max();
    // The text stands between double quotes: " and \ are escaped too, so the quotes hold.
    bool quoted = false;
};

// The bytes as they may be printed on a terminal or in a log line: printable ASCII and
// valid UTF-8 stay; control bytes (C0, DEL and the C1 controls U+0080 to U+009F), the
// invisible characters that reorder or hide text (bidirectional controls, zero-width
// characters, line and paragraph separators, the byte-order mark) and every byte that is
// not valid UTF-8 become \xHH, one per byte. So no text can move the cursor, set a
// terminal's title, clear the screen or split a line.
std::string SafeText(std::string_view bytes, const SSafeTextRules& rules = {});
