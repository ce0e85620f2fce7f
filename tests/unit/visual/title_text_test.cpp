#include "visual/title_text.h"

#include "support/libspotify/library_harness.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// UTF-8 is decoded (beyond U+FFFF into a surrogate pair); anything that is
// not UTF-8 as a whole falls back to one character per byte.
TEST(TitleTextDecodesUtf8, ValidOrOneCharacterPerByte) {
    const std::pair<std::string, std::wstring> valid[] = {
        {"", L""},
        {"Bj\xC3\xB6rk", L"Bj\u00F6rk"},
        {"\xE6\x97\xA5", L"\u65E5"},
        {"\xF0\x9D\x84\x9E", std::wstring{wchar_t(0xD834), wchar_t(0xDD1E)}}};
    for (const auto &[utf8, wide] : valid)
        EXPECT_EQ(widen_utf8(utf8.c_str()), wide) << utf8;
    for (const std::string s : {
             "caf\xE9",               // Latin-1
             "ab\xC3",                // cut short at the end
             "\xC3(x",                // continuation missing
             "\xC0\xAF",              // overlong '/'
             "\xE0\x80\xAF",          // overlong, three bytes
             "\xED\xA0\x80",          // a surrogate
             "\xF4\x90\x80\x80",      // beyond U+10FFFF
             "\x80 stray",            // lone continuation byte
             "ok \xC3\xB6 then \xFF", // valid start, invalid later
         }) {
        const std::wstring bytes(reinterpret_cast<const unsigned char *>(s.data()),
                                 reinterpret_cast<const unsigned char *>(s.data()) + s.size());
        EXPECT_EQ(widen_utf8(s.c_str()), bytes) << s;
    }
}

using TitleTextJoinsArtistAndName = lib_test::SessionTest;

// Artist " - " name, the names decoded from UTF-8. An empty artist name still
// makes a line; no session, no track, or a track whose metadata (and so its
// artist) has not arrived gives an empty one.
TEST_F(TitleTextJoinsArtistAndName, OfTheCurrentTrack) {
    const int late = add_track(1024, "Pending", "Later");
    splocal_track_hold_metadata(late, 1);
    add_playlist("P", {add_track(1024, "Sigur R\xC3\xB3s", "Hopp\xC3\xADpolla"),
                       add_track(1024, "", "Untitled"), late});
    ASSERT_TRUE(log_in());
    const auto title_of = [&](int index) {
        state.current_track = index < 0 ? nullptr : sp_playlist_track(playlist_at(0), index);
        return title_text(&state);
    };
    EXPECT_EQ(title_of(0), L"Sigur R\u00F3s - Hopp\u00EDpolla");
    EXPECT_EQ(title_of(1), L" - Untitled");
    EXPECT_EQ(title_of(2), L"");
    EXPECT_EQ(title_of(-1), L"");
    EXPECT_EQ(title_text(nullptr), L"");
}

} // namespace
