#include "platform/utf8_text.h"

#include <gtest/gtest.h>

#include <string>
#include <tuple>

namespace {

std::wstring units(std::initializer_list<unsigned> list) {
    return std::wstring(list.begin(), list.end());
}

TEST(Utf8TextWidens, CharactersOrElseEveryByteAsItself) {
    const std::pair<std::string, std::wstring> valid[] = {
        {"Bj\xC3\xB6rk \xE6\x97\xA5", L"Bj\u00F6rk \u65E5"},
        {"\xF0\x9D\x84\x9E", units({0xD834, 0xDD1E})},
        {"\xF4\x8F\xBF\xBF", units({0xDBFF, 0xDFFF})}};
    for (const auto &[utf8, wide] : valid)
        EXPECT_EQ(widen_utf8(utf8.c_str()), wide) << utf8;
    // Latin-1, cut short, overlong in 2, 3 and 4 bytes, a surrogate, > U+10FFFF.
    for (const std::string bytes :
         {"caf\xE9", "ab\xC3", "\xE6\x97(x", "\xC0\xAF", "\xE0\x82\xA9", "\xF0\x8F\xBF\xBF",
          "\xED\xA0\x80", "\xF4\x90\x80\x80", "\x80 stray", "ok \xC3\xB6 then \xFF"}) {
        const auto *first = reinterpret_cast<const unsigned char *>(bytes.data());
        EXPECT_EQ(widen_utf8(bytes.c_str()), std::wstring(first, first + bytes.size())) << bytes;
    }
}

TEST(Utf8TextNarrows, WholeCharactersWithinTheLimits) {
    const std::tuple<std::wstring, size_t, std::string> cases[] = {
        {L"", 1, ""},
        {units({0x61, 0xE9, 0x65E5}), 64, "a\xC3\xA9\xE6\x97\xA5"},
        {units({0xD83C, 0xDFB5}), 64, "\xF0\x9F\x8E\xB5"},
        {units({0x61, 0x62, 0xD83C}), 64, "ab"},      // pair cut by the caller
        {units({0xDFB5, 0x21}), 64, "\xEF\xBF\xBD!"}, // lone low half
        {units({0xD83C, 0x21}), 64, "\xEF\xBF\xBD!"}, // high half, no low
        {units({0x61, 0xE9}), 3, "a"},                // é needs 2 + the zero
        {units({0x65E5, 0x65E5}), 6, "\xE6\x97\xA5"},
        {units({0xD83C, 0xDFB5}), 4, ""},
    };
    for (const auto &[wide, capacity, utf8] : cases) {
        std::string out(capacity, '#');
        const size_t length = narrow_to_utf8(wide.data(), wide.size(), out.data(), capacity);
        EXPECT_EQ(out.c_str(), utf8) << utf8 << " within " << capacity;
        EXPECT_EQ(length, utf8.size()) << utf8;
    }
}

} // namespace
