// Real track handles from the local streaming library for the visualisation's
// tests: one account with one playlist of the given tracks, a session logged
// in with latency 0, pumped until the playlist and every track not held back
// have loaded. Main thread only.
#pragma once

#include "session/application_key.h"

#include <libspotify/local.h>

#include <windows.h>

#include <string>
#include <vector>

class LocalLibraryTracks {
public:
    struct Track {
        const char *artist;
        const char *title;
        bool hold_metadata; // its metadata (and so its artist) never arrives
    };

    LocalLibraryTracks() = default;
    LocalLibraryTracks(const LocalLibraryTracks &) = delete;
    LocalLibraryTracks &operator=(const LocalLibraryTracks &) = delete;
    ~LocalLibraryTracks() {
        if (session_ != nullptr) {
            splocal_session_release(session_);
        }
    }

    // Empty on success, otherwise what went wrong.
    std::string open(const std::vector<Track> &tracks) {
        splocal_reset();
        splocal_set_latency(0);
        splocal_account_add("listener", "secret");
        std::vector<int> ids;
        int expected_loaded = 0;
        for (const Track &t : tracks) {
            ids.push_back(splocal_track_add(t.artist, t.title, SPLOCAL_SOUND_TONE, 0, 1024));
            if (t.hold_metadata) {
                splocal_track_hold_metadata(ids.back(), 1);
            }
            expected_loaded += t.hold_metadata ? 0 : 1;
        }
        const int playlist = splocal_playlist_add("listener", "Evening", -1);
        splocal_playlist_add_tracks(playlist, ids.data(), static_cast<int>(ids.size()), -1);

        callbacks_.logged_in = [](sp_session *, sp_error) {};
        callbacks_.notify_main_thread = [](sp_session *) {};
        callbacks_.music_delivery = [](sp_session *, const sp_audioformat *, const void *,
                                       int frames) { return frames; };
        callbacks_.end_of_track = [](sp_session *) {};
        sp_session_config config = {};
        config.api_version = SPOTIFY_API_VERSION;
        config.cache_location = config.settings_location = "tmp";
        config.application_key = g_application_key;
        config.application_key_size = kApplicationKeySize;
        config.user_agent = "spshell";
        config.callbacks = &callbacks_;
        if (sp_session_create(&config, &session_) != SP_ERROR_OK ||
            sp_session_login(session_, "listener", "secret") != SP_ERROR_OK) {
            return "the session did not start";
        }
        sp_playlist *list = nullptr;
        for (int pass = 0; pass < 2000 && loaded(list) < expected_loaded; ++pass) {
            int timeout = 0;
            sp_session_process_events(session_, &timeout);
            sp_playlistcontainer *container = sp_session_playlistcontainer(session_);
            if (list == nullptr && container != nullptr &&
                sp_playlistcontainer_num_playlists(container) > 0) {
                list = sp_playlistcontainer_playlist(container, 0);
            }
            if (pass > 100) {
                Sleep(1);
            }
        }
        if (loaded(list) < expected_loaded ||
            sp_playlist_num_tracks(list) != static_cast<int>(tracks.size())) {
            return "the playlist never loaded";
        }
        for (int i = 0; i < sp_playlist_num_tracks(list); ++i) {
            tracks_.push_back(sp_playlist_track(list, i));
        }
        return std::string();
    }

    sp_track *track(size_t index) const { return tracks_.at(index); }

private:
    static int loaded(sp_playlist *list) {
        int count = 0;
        for (int i = 0;
             list != nullptr && sp_playlist_is_loaded(list) && i < sp_playlist_num_tracks(list);
             ++i) {
            count += sp_track_is_loaded(sp_playlist_track(list, i)) ? 1 : 0;
        }
        return count;
    }

    sp_session_callbacks callbacks_ = {};
    sp_session *session_ = nullptr;
    std::vector<sp_track *> tracks_;
};
