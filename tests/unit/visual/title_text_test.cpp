#include "visual/title_text.h"

#include "session/session_state.h"
#include "unit/visual/local_library_tracks.h"

#include <gtest/gtest.h>

#include <string>
#include <utility>

namespace {

// UTF-8 is decoded (beyond U+FFFF into a surrogate pair); anything that is
// not UTF-8 as a whole falls back to one character per byte.
TEST(TitleTextDecodesUtf8, ValidOrOneCharacterPerByte) {
    const std::pair<std::string, std::wstring> valid[] = {
        {"", L""},
        {"Lorvane", L"Lorvane"},
        {"Bj\xC3\xB6rk", L"Bj\u00F6rk"},
        {"\xE6\x97\xA5", L"\u65E5"},
        {"\xF0\x9D\x84\x9E", std::wstring{wchar_t(0xD834), wchar_t(0xDD1E)}},
    };
    for (const auto &[utf8, wide] : valid) {
        EXPECT_EQ(widen_utf8(utf8.c_str()), wide) << utf8;
    }
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
        std::wstring bytes;
        for (const unsigned char c : s) {
            bytes.push_back(c);
        }
        EXPECT_EQ(widen_utf8(s.c_str()), bytes) << s;
    }
}

class TitleTextJoinsArtistAndName : public ::testing::Test {
protected:
    void SetUp() override {
        ASSERT_EQ(library.open({{"Sigur R\xC3\xB3s", "Hopp\xC3\xADpolla", false},
                                {"Massive", "Teardrop", false},
                                {"", "Untitled", false},
                                {"Pending", "Later", true}}),
                  "");
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, nullptr));
    }
    void TearDown() override {
        CloseHandle(state.lock);
        CloseHandle(wake);
    }
    std::wstring title_of(sp_track *track) {
        WaitForSingleObject(state.lock, INFINITE);
        state.current_track = track;
        ReleaseMutex(state.lock);
        return title_text(&state);
    }

    LocalLibraryTracks library;
    HANDLE wake = nullptr;
    SessionState state = {};
};

// Artist " - " name, the names decoded from UTF-8. An empty artist name still
// makes a line; no session, no track, or a track whose metadata (and so its
// artist) has not arrived gives an empty one.
TEST_F(TitleTextJoinsArtistAndName, OfTheCurrentTrack) {
    EXPECT_EQ(title_of(library.track(1)), L"Massive - Teardrop");
    EXPECT_EQ(title_of(library.track(0)), L"Sigur R\u00F3s - Hopp\u00EDpolla");
    EXPECT_EQ(title_of(library.track(2)), L" - Untitled");
    ASSERT_FALSE(sp_track_is_loaded(library.track(3)));
    EXPECT_EQ(title_of(library.track(3)), L"");
    EXPECT_EQ(title_of(nullptr), L"");
    EXPECT_EQ(title_text(nullptr), L"");
}

} // namespace
