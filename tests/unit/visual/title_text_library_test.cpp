#include "visual/title_text.h"

#include "session/application_key.h"
#include "session/session_state.h"

#include <libspotify/local.h>

#include <gtest/gtest.h>

#include <string>

namespace {

// Real track handles from the local library: one account, one playlist with
// the given tracks, a session logged in with latency 0.
class TitleTextJoinsArtistAndNameOfATrack : public ::testing::Test {
protected:
    void SetUp() override {
        splocal_reset();
        splocal_set_latency(0);
        splocal_account_add("listener", "secret");
        const int tracks[] = {
            splocal_track_add("Sigur R\xC3\xB3s", "Hopp\xC3\xADpolla", SPLOCAL_SOUND_TONE, 0, 1024),
            splocal_track_add("Massive", "Teardrop", SPLOCAL_SOUND_TONE, 0, 1024),
            splocal_track_add("", "Untitled", SPLOCAL_SOUND_TONE, 0, 1024),
            splocal_track_add("Pending", "Later", SPLOCAL_SOUND_TONE, 0, 1024),
        };
        splocal_track_hold_metadata(tracks[3], 1); // its artist never arrives
        const int playlist = splocal_playlist_add("listener", "Evening", -1);
        splocal_playlist_add_tracks(playlist, tracks, 4, -1);

        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(session_state_init(&state, wake, nullptr));
        callbacks.logged_in = [](sp_session *, sp_error) {};
        callbacks.notify_main_thread = [](sp_session *) {};
        callbacks.music_delivery = [](sp_session *, const sp_audioformat *, const void *,
                                      int frames) { return frames; };
        callbacks.end_of_track = [](sp_session *) {};
        sp_session_config config = {};
        config.api_version = SPOTIFY_API_VERSION;
        config.cache_location = "tmp";
        config.settings_location = "tmp";
        config.application_key = g_application_key;
        config.application_key_size = kApplicationKeySize;
        config.user_agent = "spshell";
        config.callbacks = &callbacks;
        ASSERT_EQ(sp_session_create(&config, &session), SP_ERROR_OK);
        ASSERT_EQ(sp_session_login(session, "listener", "secret"), SP_ERROR_OK);

        // Pump until the playlist and its tracks' metadata have arrived.
        sp_playlist *list = nullptr;
        for (int pass = 0; pass < 1000 && tracks_loaded(list) < 3; ++pass) {
            int timeout = 0;
            sp_session_process_events(session, &timeout);
            sp_playlistcontainer *container = sp_session_playlistcontainer(session);
            if (list == nullptr && container != nullptr &&
                sp_playlistcontainer_num_playlists(container) > 0) {
                list = sp_playlistcontainer_playlist(container, 0);
            }
            if (pass > 100) {
                Sleep(1);
            }
        }
        ASSERT_EQ(tracks_loaded(list), 3) << "the playlist never loaded";
        ASSERT_EQ(sp_playlist_num_tracks(list), 4);
        for (int i = 0; i < 4; ++i) {
            track[i] = sp_playlist_track(list, i);
        }
        ASSERT_FALSE(sp_track_is_loaded(track[3]));
    }

    void TearDown() override {
        if (session != nullptr) {
            splocal_session_release(session);
        }
        if (state.lock != nullptr) {
            CloseHandle(state.lock);
        }
        if (wake != nullptr) {
            CloseHandle(wake);
        }
    }

    static int tracks_loaded(sp_playlist *list) {
        if (list == nullptr || !sp_playlist_is_loaded(list)) {
            return 0;
        }
        int loaded = 0;
        for (int i = 0; i < sp_playlist_num_tracks(list); ++i) {
            loaded += sp_track_is_loaded(sp_playlist_track(list, i)) ? 1 : 0;
        }
        return loaded;
    }

    void play(sp_track *t) {
        WaitForSingleObject(state.lock, INFINITE);
        state.current_track = t;
        ReleaseMutex(state.lock);
    }

    HANDLE wake = nullptr;
    SessionState state = {};
    sp_session_callbacks callbacks = {};
    sp_session *session = nullptr;
    sp_track *track[4] = {};
};

TEST_F(TitleTextJoinsArtistAndNameOfATrack, NoTrackGivesAnEmptyLine) {
    play(nullptr);
    EXPECT_EQ(title_text(&state), L"");
}

TEST_F(TitleTextJoinsArtistAndNameOfATrack, ArtistDashName) {
    play(track[1]);
    EXPECT_EQ(title_text(&state), L"Massive - Teardrop");
}

// The names arrive as UTF-8 and are decoded into the wide line.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, NonAsciiNamesAreDecoded) {
    play(track[0]);
    std::wstring expected = L"Sigur R";
    expected += wchar_t(0xF3);
    expected += L"s - Hopp";
    expected += wchar_t(0xED);
    expected += L"polla";
    EXPECT_EQ(title_text(&state), expected);
}

// An artist with an empty name still makes a line; only a missing one empties it.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, EmptyArtistNameStillJoins) {
    play(track[2]);
    EXPECT_EQ(title_text(&state), L" - Untitled");
}

// A track whose metadata has not arrived has no artist: the line stays empty.
TEST_F(TitleTextJoinsArtistAndNameOfATrack, MissingArtistGivesAnEmptyLine) {
    play(track[3]);
    EXPECT_EQ(title_text(&state), L"");
}

} // namespace
