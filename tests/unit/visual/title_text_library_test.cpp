#include "visual/title_text.h"

#include "session/session_state.h"
#include "unit/visual/local_library_tracks.h"

#include <gtest/gtest.h>

#include <string>

namespace {

class TitleTextJoinsArtistAndNameOfATrack : public ::testing::Test {
protected:
    void SetUp() override {
        const std::string failure = library.open({
            {"Sigur R\xC3\xB3s", "Hopp\xC3\xADpolla", false},
            {"Massive", "Teardrop", false},
            {"", "Untitled", false},
            {"Pending", "Later", true},
        });
        ASSERT_EQ(failure, "");
        ASSERT_FALSE(sp_track_is_loaded(library.track(3)));
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, nullptr));
    }

    void TearDown() override {
        if (state.lock != nullptr) {
            CloseHandle(state.lock);
        }
        if (wake != nullptr) {
            CloseHandle(wake);
        }
    }

    void play(sp_track *t) {
        WaitForSingleObject(state.lock, INFINITE);
        state.current_track = t;
        ReleaseMutex(state.lock);
    }

    LocalLibraryTracks library;
    HANDLE wake = nullptr;
    SessionState state = {};
};

TEST_F(TitleTextJoinsArtistAndNameOfATrack, NoTrackGivesAnEmptyLine) {
    play(nullptr);
    EXPECT_EQ(title_text(&state), L"");
}

TEST_F(TitleTextJoinsArtistAndNameOfATrack, ArtistDashName) {
    play(library.track(1));
    EXPECT_EQ(title_text(&state), L"Massive - Teardrop");
}

// The names arrive as UTF-8 and are decoded into the wide line.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, NonAsciiNamesAreDecoded) {
    play(library.track(0));
    std::wstring expected = L"Sigur R";
    expected += wchar_t(0xF3);
    expected += L"s - Hopp";
    expected += wchar_t(0xED);
    expected += L"polla";
    EXPECT_EQ(title_text(&state), expected);
}

// An artist with an empty name still makes a line; only a missing one empties it.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, EmptyArtistNameStillJoins) {
    play(library.track(2));
    EXPECT_EQ(title_text(&state), L" - Untitled");
}

// A track whose metadata has not arrived has no artist: the line stays empty.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, MissingArtistGivesAnEmptyLine) {
    play(library.track(3));
    EXPECT_EQ(title_text(&state), L"");
}

} // namespace
