#include "platform/SafeText.h"

#include <gtest/gtest.h>
#include <string>
#include <vector>

namespace {

TEST(SafeText, KeepsPrintableTextAndEscapesWhatATerminalWouldActOn)
{
    struct Case
    {
        const char* what;
        std::string bytes;
        std::string shown;
    };
    const std::vector<Case> cases = {
        {"plain ASCII", "00A0B0C0D0E0 E:\\x /mnt/usb stick", "00A0B0C0D0E0 E:\\x /mnt/usb stick"},
        {"newline, tab, carriage return", "a\nb\tc\rd", "a\\x0Ab\\x09c\\x0Dd"},
        {"set the title", "\x1B]0;owned\x07", "\\x1B]0;owned\\x07"},
        {"clear the screen", "\x1B[2J\x1B[H", "\\x1B[2J\\x1B[H"},
        {"NUL and DEL", std::string("a\0b\x7F", 4), "a\\x00b\\x7F"},
        {"UTF-8 stays", "\xE3\x83\xA6\xE3\x83\xBC\xE3\x82\xB6 \xC3\xA9 \xF0\x9F\x94\x91", "ユーザ é 🔑"},
        {"C1 control CSI (U+009B)",
         "\xC2\x9B"
         "2J",
         "\\xC2\\x9B2J"},
        {"bare C1 byte",
         "\x9B"
         "2J",
         "\\x9B2J"},
        {"right-to-left override",
         "ab\xE2\x80\xAE"
         "cd",
         "ab\\xE2\\x80\\xAEcd"},
        {"line separator",
         "a\xE2\x80\xA8"
         "b",
         "a\\xE2\\x80\\xA8b"},
        {"zero-width space and BOM",
         "a\xE2\x80\x8B"
         "b\xEF\xBB\xBF",
         "a\\xE2\\x80\\x8Bb\\xEF\\xBB\\xBF"},
        {"overlong slash", "\xC0\xAF", "\\xC0\\xAF"},
        {"surrogate", "\xED\xA0\x80", "\\xED\\xA0\\x80"},
        {"beyond U+10FFFF", "\xF4\x90\x80\x80", "\\xF4\\x90\\x80\\x80"},
        {"cut short", "a\xE3\x83", "a\\xE3\\x83"},
        {"Latin-1, not UTF-8", "caf\xE9!", "caf\\xE9!"},
        {"escaped text stays as it is", "\\x1B", "\\x1B"},
    };
    for (const Case& c : cases) {
        EXPECT_EQ(SafeText(c.bytes), c.shown) << c.what;
        // What comes out is safe already: escaping it again changes nothing.
        EXPECT_EQ(SafeText(c.shown), c.shown) << c.what;
    }
}

TEST(SafeText, QuotedTextEscapesItsQuotesAndIsShortened)
{
    const SSafeTextRules quoted{64, true};
    EXPECT_EQ(SafeText("AB\n\"\\\x01", quoted), "AB\\x0A\\x22\\x5C\\x01");
    EXPECT_EQ(SafeText(std::string(100, 'C'), quoted), std::string(64, 'C') + "...(100 bytes)");
    EXPECT_EQ(SafeText(std::string(64, 'C'), quoted), std::string(64, 'C'));
    // A character is shown whole or not at all.
    EXPECT_EQ(SafeText("abc\xE3\x83\xA6", {5, false}), "abc...(6 bytes)");
    EXPECT_EQ(SafeText("ab\x1B", {2, false}), "ab...(3 bytes)");
}

} // namespace
