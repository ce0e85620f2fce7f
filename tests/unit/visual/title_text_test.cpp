#include "visual/title_text.h"

#include <gtest/gtest.h>

#include <string>

namespace {

TEST(TitleTextDecodesUtf8, AsciiAndMultiByteCharacters) {
    EXPECT_EQ(widen_utf8(""), L"");
    EXPECT_EQ(widen_utf8("Lorvane"), L"Lorvane");
    // "Björk" and "Sigur Rós", then a CJK character and one beyond U+FFFF.
    EXPECT_EQ(widen_utf8("Bj\xC3\xB6rk"), std::wstring(L"Bj") + wchar_t(0xF6) + L"rk");
    EXPECT_EQ(widen_utf8("\xE6\x97\xA5"), std::wstring(1, wchar_t(0x65E5)));
    std::wstring clef;
    clef.push_back(wchar_t(0xD834));
    clef.push_back(wchar_t(0xDD1E));
    EXPECT_EQ(widen_utf8("\xF0\x9D\x84\x9E"), clef);
}

// Anything that is not UTF-8 as a whole falls back to one character per byte.
TEST(TitleTextDecodesUtf8, InvalidBytesFallBackToOneCharacterPerByte) {
    const auto bytes = [](const std::string &s) {
        std::wstring out;
        for (unsigned char c : s) {
            out.push_back(static_cast<wchar_t>(c));
        }
        return out;
    };
    for (const std::string &s : {
             std::string("caf\xE9"),               // Latin-1
             std::string("ab\xC3"),                // cut short at the end
             std::string("\xC3(x"),                // continuation missing
             std::string("\xC0\xAF"),              // overlong '/'
             std::string("\xE0\x80\xAF"),          // overlong, three bytes
             std::string("\xED\xA0\x80"),          // a surrogate
             std::string("\xF4\x90\x80\x80"),      // beyond U+10FFFF
             std::string("\x80 stray"),            // lone continuation byte
             std::string("ok \xC3\xB6 then \xFF"), // valid start, invalid later
         }) {
        EXPECT_EQ(widen_utf8(s.c_str()), bytes(s)) << s;
    }
}

TEST(TitleTextJoinsArtistAndName, NoSessionGivesAnEmptyLine) {
    EXPECT_EQ(title_text(nullptr), L"");
}

} // namespace
