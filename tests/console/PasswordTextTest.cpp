// The cooperation password as the bytes of code page 932 that other key servers compare,
// and back, on every system.
#include "console/PasswordText.h"

#include <gtest/gtest.h>
#include <optional>

namespace {

TEST(PasswordText, TypedTextBecomesCodePage932BytesAndBack)
{
    const struct
    {
        const char* text;
        std::optional<std::string> bytes;
    } cases[] = {
        {"abc", "abc"},
        {"", ""},
        {"パスワード", "\x83\x70\x83\x58\x83\x8F\x81\x5B\x83\x68"},
        {"ｱｲ", "\xB1\xB2"},       // half-width katakana: one byte each
        {"\xF0\x9F\x94\x91", {}}, // a key emoji: no such character
        {"\xFF", {}},             // not UTF-8
    };
    for (const auto& c : cases) {
        EXPECT_EQ(PasswordToCodePage(c.text), c.bytes) << c.text;
        if (c.bytes) {
            EXPECT_EQ(PasswordFromCodePage(*c.bytes), c.text);
        }
    }
    // A lead byte followed by no trail byte, in the middle and at the end; the same on every
    // system (Windows' code page 932 has characters for some bytes iconv's lacks, such as 0x80).
    EXPECT_EQ(PasswordFromCodePage("a\x81\n"
                                   "b\x83"),
              "a\xEF\xBF\xBD\n"
              "b\xEF\xBF\xBD")
        << "bytes of no character";
}

} // namespace
