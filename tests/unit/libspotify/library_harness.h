// Drives the local streaming library through its interface and its control
// API: callbacks that record what the library calls, on which thread, and
// what the program would see at that moment.
#ifndef TESTS_UNIT_LIBSPOTIFY_LIBRARY_HARNESS_H
#define TESTS_UNIT_LIBSPOTIFY_LIBRARY_HARNESS_H

#include <gtest/gtest.h>
#include <libspotify/api.h>
#include <libspotify/local.h>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace libspotify_test {

inline constexpr char kUser[] = "ann";
inline constexpr char kPassword[] = "S3cret!";

struct Recorder {
    std::thread::id main_thread = std::this_thread::get_id();
    std::vector<std::string> events; // main thread only
    std::atomic<int> notifications{0};
    std::atomic<int> end_of_track{0};
    // A main-thread callback on another thread, or a player callback on it.
    std::atomic<int> wrong_thread{0};

    std::mutex mutex;
    std::vector<int16_t> delivered;          // mutex: samples taken, in order
    std::vector<std::pair<int, int>> offers; // mutex: frames taken before, frames offered
    std::function<int(int offered)> accept;  // mutex: frames to take (default all)
};
inline Recorder *g_recorder = nullptr;

// The values at(0) .. at(count - 1), separated by `separator`.
template <typename At> std::string join(int count, const char *separator, At at) {
    std::ostringstream out;
    for (int i = 0; i < count; ++i)
        out << (i ? separator : "") << at(i);
    return out.str();
}

inline void expect_thread(bool main) {
    if ((std::this_thread::get_id() == g_recorder->main_thread) != main)
        g_recorder->wrong_thread++;
}

template <typename... Parts> std::string str(const Parts &...parts) {
    std::ostringstream out;
    ((out << parts), ...);
    return out.str();
}

template <typename... Parts> void on_main(const Parts &...parts) {
    expect_thread(true);
    g_recorder->events.push_back(str(parts...));
}

inline void logged_in(sp_session *session, sp_error error) {
    sp_playlistcontainer *pc = sp_session_playlistcontainer(session);
    const int count = pc ? sp_playlistcontainer_num_playlists(pc) : 0;
    int loaded = 0;
    for (int i = 0; i < count; ++i)
        loaded += sp_playlist_is_loaded(sp_playlistcontainer_playlist(pc, i));
    on_main("logged_in ", error, " state ", sp_session_connectionstate(session),
            pc ? " playlists " + std::to_string(count) + " loaded " + std::to_string(loaded) : "");
}

inline int music_delivery(sp_session *, const sp_audioformat *format, const void *frames,
                          int count) {
    expect_thread(false);
    Recorder &r = *g_recorder;
    if (format->sample_rate != 44100 || format->channels != 2 ||
        format->sample_type != SP_SAMPLETYPE_INT16_NATIVE_ENDIAN || count <= 0)
        return 0;
    std::lock_guard<std::mutex> lock(r.mutex);
    const int taken = std::min(count, r.accept ? r.accept(count) : count);
    r.offers.emplace_back(static_cast<int>(r.delivered.size() / 2), count);
    const auto *samples = static_cast<const int16_t *>(frames);
    r.delivered.insert(r.delivered.end(), samples, samples + 2 * taken);
    return taken;
}

inline void tracks_added(sp_playlist *pl, sp_track *const *tracks, int count, int position,
                         void *userdata) {
    on_main("tracks_added ", sp_playlist_name(pl), " [",
            join(count, ",", [&](int i) { return splocal_track_id(tracks[i]); }), "] at ", position,
            " now ", sp_playlist_num_tracks(pl), " ud ", reinterpret_cast<intptr_t>(userdata));
}

inline std::string ints(const int *values, int count) {
    return "[" + join(count, ",", [&](int i) { return values[i]; }) + "]";
}

inline void container_changed(const char *what, sp_playlistcontainer *pc, sp_playlist *pl,
                              int position) {
    on_main(what, sp_playlist_name(pl), " at ", position, " of ",
            sp_playlistcontainer_num_playlists(pc));
}

class LibraryTest : public ::testing::Test {
protected:
    void SetUp() override {
        g_recorder = &rec;
        splocal_reset();
        splocal_set_latency(0);
        ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
        callbacks.logged_in = logged_in;
        callbacks.metadata_updated = [](sp_session *) { on_main("metadata_updated"); };
        callbacks.notify_main_thread = [](sp_session *) { g_recorder->notifications++; };
        callbacks.music_delivery = music_delivery;
        callbacks.play_token_lost = [](sp_session *) { on_main("play_token_lost"); };
        callbacks.end_of_track = [](sp_session *) {
            expect_thread(false);
            g_recorder->end_of_track++;
        };
        playlist_callbacks.tracks_added = tracks_added;
        playlist_callbacks.tracks_removed = [](sp_playlist *pl, const int *tracks, int count,
                                               void *) {
            on_main("tracks_removed ", sp_playlist_name(pl), " ", ints(tracks, count), " now ",
                    sp_playlist_num_tracks(pl));
        };
        playlist_callbacks.tracks_moved = [](sp_playlist *pl, const int *tracks, int count, int to,
                                             void *) {
            on_main("tracks_moved ", sp_playlist_name(pl), " ", ints(tracks, count), " to ", to);
        };
        playlist_callbacks.playlist_renamed = [](sp_playlist *pl, void *) {
            on_main("playlist_renamed ", sp_playlist_name(pl));
        };
        container_callbacks.playlist_added = [](sp_playlistcontainer *pc, sp_playlist *pl,
                                                int position, void *) {
            container_changed("playlist_added ", pc, pl, position);
        };
        container_callbacks.playlist_removed = [](sp_playlistcontainer *pc, sp_playlist *pl,
                                                  int position, void *) {
            container_changed("playlist_removed ", pc, pl, position);
        };
        container_callbacks.container_loaded = [](sp_playlistcontainer *, void *) {
            on_main("container_loaded");
        };
    }
    void TearDown() override {
        splocal_session_release(session); // joins the library's threads
        session = nullptr;
        EXPECT_EQ(rec.wrong_thread.load(), 0) << "a callback ran on the wrong thread";
        splocal_reset();
        g_recorder = nullptr;
    }

    sp_session_config config(const char *folder = "no-such-folder") {
        static const unsigned char key[321] = {1, 2, 3};
        return {SPOTIFY_API_VERSION, folder, folder, key, sizeof key, "tests", &callbacks, this};
    }
    sp_error create(const char *folder = "no-such-folder") {
        const sp_session_config c = config(folder);
        return sp_session_create(&c, &session);
    }
    // Creates the session if needed, logs in and runs the library until its
    // work is done. With `watch`, the recording callbacks are registered on
    // the container and every playlist in the round that delivers logged_in.
    void log_in(const char *user = kUser, const char *password = kPassword, bool watch = false) {
        ASSERT_TRUE(session || create() == SP_ERROR_OK);
        ASSERT_EQ(sp_session_login(session, user, password), SP_ERROR_OK);
        if (watch) {
            int timeout = -1;
            sp_session_process_events(session, &timeout); // the round with logged_in
            EXPECT_EQ(timeout, 1) << "the loads are new work, due at once";
            ASSERT_NE(container(), nullptr);
            sp_playlistcontainer_add_callbacks(container(), &container_callbacks, nullptr);
            for (int i = 0; i < sp_playlistcontainer_num_playlists(container()); ++i)
                sp_playlist_add_callbacks(playlist_at(i), &playlist_callbacks, nullptr);
        }
        pump();
    }
    // Calls sp_session_process_events until no work is pending.
    void pump() {
        for (int call = 0; call < 1000; ++call) {
            int timeout = -1;
            ASSERT_EQ(sp_session_process_events(session, &timeout), SP_ERROR_OK);
            ASSERT_GE(timeout, 0);
            if (!splocal_work_pending(session))
                return;
        }
        ADD_FAILURE() << "the library kept having work";
    }
    // Processes events until done() holds (some seconds at most).
    bool wait_until(const std::function<bool()> &done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int timeout = 0; !done() && std::chrono::steady_clock::now() < limit;) {
            sp_session_process_events(session, &timeout);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }
    // The events since the last call, joined by "; ".
    std::string take_events() {
        const std::vector<std::string> events = std::exchange(rec.events, {});
        return join(static_cast<int>(events.size()), "; ", [&](int i) { return events[i]; });
    }

    sp_playlistcontainer *container() { return sp_session_playlistcontainer(session); }
    sp_playlist *playlist_at(int index) {
        return sp_playlistcontainer_playlist(container(), index);
    }
    // The view: "Name[track ids]" per playlist, "Name?[]" while not loaded.
    std::string view() {
        return join(sp_playlistcontainer_num_playlists(container()), " ", [&](int i) {
            sp_playlist *pl = playlist_at(i);
            return sp_playlist_name(pl) + std::string(sp_playlist_is_loaded(pl) ? "[" : "?[") +
                   join(sp_playlist_num_tracks(pl), ",",
                        [&](int t) { return splocal_track_id(sp_playlist_track(pl, t)); }) +
                   "]";
        });
    }

    int add_track(const char *title, int frames = 4410, splocal_sound sound = SPLOCAL_SOUND_TONE) {
        return splocal_track_add("Artist", title, sound, 0, frames);
    }
    int add_playlist(const char *name, const std::vector<int> &tracks) {
        const int id = splocal_playlist_add(kUser, name, -1);
        splocal_playlist_add_tracks(id, tracks.data(), static_cast<int>(tracks.size()), -1);
        return id;
    }

    Recorder rec;
    sp_session *session = nullptr;
    sp_session_callbacks callbacks{};
    sp_playlist_callbacks playlist_callbacks{};
    sp_playlistcontainer_callbacks container_callbacks{};
};

} // namespace libspotify_test

#endif
