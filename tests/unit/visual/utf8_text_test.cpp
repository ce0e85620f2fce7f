#include "visual/utf8_text.h"

#include <gtest/gtest.h>

#include <initializer_list>
#include <string>

namespace {

std::wstring units(std::initializer_list<unsigned> list) {
    std::wstring out;
    for (unsigned unit : list)
        out.push_back(static_cast<wchar_t>(unit));
    return out;
}

// The text's bytes, one character each: what text that is not UTF-8 shows.
std::wstring latin1(const std::string &bytes) {
    std::wstring out;
    for (unsigned char byte : bytes)
        out.push_back(byte);
    return out;
}

std::string narrow(const std::wstring &text, size_t capacity = 64) {
    std::string out(capacity, '#');
    const size_t length = narrow_to_utf8(text.data(), text.size(), out.data(), capacity);
    EXPECT_EQ(out[length], '\0');
    return out.substr(0, length);
}

TEST(Utf8TextWidens, CharactersOrElseEveryByteAsItself) {
    const struct {
        std::string utf8;
        std::wstring wide;
    } valid[] = {{"", L""},
                 {"Bj\xC3\xB6rk", L"Bj\u00F6rk"},
                 {"\xDF\xBF", units({0x7FF})},
                 {"\xE6\x97\xA5", units({0x65E5})},
                 {"\xEF\xBF\xBD", units({0xFFFD})},
                 {"\xF0\x9D\x84\x9E", units({0xD834, 0xDD1E})},
                 {"\xF4\x8F\xBF\xBF", units({0xDBFF, 0xDFFF})}};
    for (const auto &[utf8, wide] : valid)
        EXPECT_EQ(widen_utf8(utf8.c_str()), wide) << utf8;
    for (const std::string bytes : {
             "caf\xE9",               // Latin-1
             "ab\xC3",                // cut short at the end
             "\xE6\x97(x",            // continuation missing
             "\xC0\xAF",              // overlong '/', two bytes
             "\xE0\x80\xAF",          // overlong, three bytes
             "\xF0\x80\x80\xAF",      // overlong, four bytes
             "\xED\xA0\x80",          // a surrogate
             "\xF4\x90\x80\x80",      // beyond U+10FFFF
             "\x80 stray",            // lone continuation byte
             "ok \xC3\xB6 then \xFF", // valid start, invalid later
         })
        EXPECT_EQ(widen_utf8(bytes.c_str()), latin1(bytes)) << bytes;
    EXPECT_EQ(widen_utf8(nullptr), L"");
}

TEST(Utf8TextNarrows, WholeCharactersWithinTheLimits) {
    const struct {
        std::wstring wide;
        size_t capacity;
        std::string utf8;
    } cases[] = {
        {L"", 1, ""},
        {units({0x61, 0xE9, 0x65E5}), 64, "a\xC3\xA9\xE6\x97\xA5"},
        {units({0xD83C, 0xDFB5}), 64, "\xF0\x9F\x8E\xB5"},
        {units({0x61, 0x62, 0xD83C}), 64, "ab"},      // pair cut by the caller
        {units({0xDFB5, 0x21}), 64, "\xEF\xBF\xBD!"}, // lone low half
        {units({0xD83C, 0x21}), 64, "\xEF\xBF\xBD!"}, // high half, no low
        {units({0x61, 0xE9}), 3, "a"},                // é needs 2 + the zero
        {units({0x61, 0xE9}), 4, "a\xC3\xA9"},
        {units({0x65E5, 0x65E5}), 6, "\xE6\x97\xA5"},
        {units({0xD83C, 0xDFB5}), 4, ""},
        {units({0xD83C, 0xDFB5}), 5, "\xF0\x9F\x8E\xB5"},
    };
    for (const auto &[wide, capacity, utf8] : cases)
        EXPECT_EQ(narrow(wide, capacity), utf8) << utf8 << " within " << capacity;
}

// Every character outside the surrogate range survives the way out and back.
TEST(Utf8TextNarrows, EveryCharacterComesBackAsItWas) {
    for (unsigned cp = 1; cp <= 0x10FFFF; cp += cp < 0x800 ? 1 : 13) {
        if (cp >= 0xD800 && cp <= 0xDFFF)
            continue;
        const std::wstring wide =
            cp < 0x10000 ? units({cp})
                         : units({0xD800 + ((cp - 0x10000) >> 10), 0xDC00 + (cp & 0x3FF)});
        ASSERT_EQ(widen_utf8(narrow(wide).c_str()), wide) << std::hex << cp;
    }
}

} // namespace
