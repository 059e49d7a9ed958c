#pragma once

#include <cstddef>
#include <cstdint>
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

// The length of the valid UTF-8 sequence at the start of bytes and its code point; 0 when
// there is none (cut short, overlong, a surrogate, beyond U+10FFFF, or not a lead byte).
size_t DecodeUtf8(std::string_view bytes, uint32_t& codePoint);

// Whether a terminal acts on the character (the C1 controls) or it changes how the text
// around it reads (bidirectional controls, zero-width characters, line and paragraph
// separators, the byte-order mark). All of them lie below U+10000.
bool IsHiddenCharacter(uint32_t codePoint);
