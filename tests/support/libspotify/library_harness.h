// Tests against the local streaming library: a fresh catalogue with one
// account and no latency, and two ways to drive a session over it.
// LibraryTest records what the library calls, on which thread (the library's
// own suites); SessionTest runs the program's session controller into a real
// PcmQueue as the main loop does, the test's thread being the main thread.
#pragma once

#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <atomic>
#include <chrono>
#include <cstdlib>
#include <functional>
#include <mutex>
#include <sstream>
#include <string>
#include <thread>
#include <utility>
#include <vector>

namespace lib_test {

inline constexpr char kUser[] = "ann";
inline constexpr char kPassword[] = "S3cret!";
constexpr int kLongTrack = 44100 * 30; // never ends while nothing consumes the queue

// The values at(0) .. at(count - 1), separated by `separator`.
template <typename At> std::string join(int count, const char *separator, At at) {
    std::ostringstream out;
    for (int i = 0; i < count; ++i)
        out << (i ? separator : "") << at(i);
    return out.str();
}

class CatalogueTest : public ::testing::Test {
protected:
    void SetUp() override {
        splocal_reset();
        splocal_set_latency(0);
        ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
    }
    void TearDown() override {
        splocal_session_release(session); // joins the library's threads
        session = nullptr;
        splocal_reset();
    }
    // A tone of its own, so that audio tells tracks apart.
    int add_track(int frames = kLongTrack, const char *artist = "Artist", const char *title = "t") {
        next_tone_ += 50;
        return splocal_track_add(artist, title, SPLOCAL_SOUND_TONE, next_tone_, frames);
    }
    int add_playlist(const char *name, const std::vector<int> &tracks) {
        const int id = splocal_playlist_add(kUser, name, -1);
        splocal_playlist_add_tracks(id, tracks.data(), static_cast<int>(tracks.size()), -1);
        return id;
    }
    sp_playlist *playlist_at(int index) {
        return sp_playlistcontainer_playlist(sp_session_playlistcontainer(session), index);
    }
    // Calls sp_session_process_events until no work is pending.
    void pump() {
        for (int call = 0; call < 1000; ++call) {
            int timeout = -1;
            sp_session_process_events(session, &timeout);
            ASSERT_GE(timeout, 0);
            if (!splocal_work_pending(session))
                return;
        }
        ADD_FAILURE() << "the library kept having work";
    }
    // Processes events until done() holds (20 s at most).
    bool wait_until(const std::function<bool()> &done) {
        const auto limit = std::chrono::steady_clock::now() + std::chrono::seconds(20);
        for (int timeout = 0; !done() && std::chrono::steady_clock::now() < limit;) {
            sp_session_process_events(session, &timeout);
            std::this_thread::sleep_for(std::chrono::milliseconds(1));
        }
        return done();
    }

    sp_session *session = nullptr;
    int next_tone_ = 200;
};

// What the library called. events: main-thread callbacks, in order.
struct Recorder {
    std::thread::id main_thread = std::this_thread::get_id();
    std::vector<std::string> events;
    std::atomic<int> notifications{0}, end_of_track{0}, wrong_thread{0};
    std::mutex mutex;
    std::vector<int16_t> delivered;          // mutex: samples taken, in order
    std::vector<std::pair<int, int>> offers; // mutex: frames taken before, frames offered
    std::function<int(int offered)> accept;  // mutex: frames to take (default all)
};
inline Recorder *g_recorder = nullptr;

inline void on_thread(bool main) {
    if ((std::this_thread::get_id() == g_recorder->main_thread) != main)
        g_recorder->wrong_thread++;
}
template <typename... Parts> void record(const Parts &...parts) {
    on_thread(true);
    std::ostringstream out;
    ((out << parts), ...);
    g_recorder->events.push_back(out.str());
}
inline std::string ints(const int *values, int count) {
    return "[" + join(count, ",", [&](int i) { return values[i]; }) + "]";
}

class LibraryTest : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        g_recorder = &rec;
        callbacks.logged_in = [](sp_session *s, sp_error error) {
            sp_playlistcontainer *pc = sp_session_playlistcontainer(s);
            record("logged_in ", error, " state ", sp_session_connectionstate(s),
                   pc ? " playlists " + std::to_string(sp_playlistcontainer_num_playlists(pc))
                      : "");
        };
        callbacks.metadata_updated = [](sp_session *) { record("metadata_updated"); };
        callbacks.notify_main_thread = [](sp_session *) { g_recorder->notifications++; };
        callbacks.music_delivery = [](sp_session *, const sp_audioformat *format,
                                      const void *frames, int count) {
            on_thread(false);
            Recorder &r = *g_recorder;
            if (format->sample_rate != 44100 || format->channels != 2 || count <= 0)
                return 0;
            std::lock_guard<std::mutex> lock(r.mutex);
            const int taken = std::min(count, r.accept ? r.accept(count) : count);
            r.offers.emplace_back(static_cast<int>(r.delivered.size() / 2), count);
            const auto *samples = static_cast<const int16_t *>(frames);
            r.delivered.insert(r.delivered.end(), samples, samples + 2 * taken);
            return taken;
        };
        callbacks.play_token_lost = [](sp_session *) { record("play_token_lost"); };
        callbacks.end_of_track = [](sp_session *) {
            on_thread(false);
            g_recorder->end_of_track++;
        };
        playlist_callbacks.tracks_added = [](sp_playlist *pl, sp_track *const *tracks, int count,
                                             int position, void *userdata) {
            record("tracks_added ", sp_playlist_name(pl), " [",
                   join(count, ",", [&](int i) { return splocal_track_id(tracks[i]); }), "] at ",
                   position, " ud ", reinterpret_cast<intptr_t>(userdata));
        };
        playlist_callbacks.tracks_removed = [](sp_playlist *pl, const int *tracks, int count,
                                               void *) {
            record("tracks_removed ", sp_playlist_name(pl), " ", ints(tracks, count));
        };
        playlist_callbacks.tracks_moved = [](sp_playlist *pl, const int *tracks, int count, int to,
                                             void *) {
            record("tracks_moved ", sp_playlist_name(pl), " ", ints(tracks, count), " to ", to);
        };
        playlist_callbacks.playlist_renamed = [](sp_playlist *pl, void *) {
            record("playlist_renamed ", sp_playlist_name(pl));
        };
        container_callbacks.playlist_added = [](sp_playlistcontainer *, sp_playlist *pl,
                                                int position, void *) {
            record("playlist_added ", sp_playlist_name(pl), " at ", position);
        };
        container_callbacks.playlist_removed = [](sp_playlistcontainer *, sp_playlist *pl,
                                                  int position, void *) {
            record("playlist_removed ", sp_playlist_name(pl), " at ", position);
        };
        container_callbacks.container_loaded = [](sp_playlistcontainer *, void *) {
            record("container_loaded");
        };
    }
    void TearDown() override {
        CatalogueTest::TearDown();
        EXPECT_EQ(rec.wrong_thread.load(), 0) << "a callback ran on the wrong thread";
        g_recorder = nullptr;
    }

    sp_error create(const char *folder = "no-such-folder") {
        static const unsigned char key[321] = {1, 2, 3};
        const sp_session_config config{SPOTIFY_API_VERSION, folder,  folder,     key,
                                       sizeof key,          "tests", &callbacks, this};
        return sp_session_create(&config, &session);
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
            sp_playlistcontainer *pc = sp_session_playlistcontainer(session);
            ASSERT_NE(pc, nullptr);
            sp_playlistcontainer_add_callbacks(pc, &container_callbacks, nullptr);
            for (int i = 0; i < sp_playlistcontainer_num_playlists(pc); ++i)
                sp_playlist_add_callbacks(playlist_at(i), &playlist_callbacks, nullptr);
        }
        pump();
    }
    // The events since the last call, joined by "; ".
    std::string take_events() {
        const std::vector<std::string> events = std::exchange(rec.events, {});
        return join(static_cast<int>(events.size()), "; ", [&](int i) { return events[i]; });
    }
    // The view: "Name[track ids]" per playlist, "Name?[]" while not loaded.
    std::string view() {
        return join(
            sp_playlistcontainer_num_playlists(sp_session_playlistcontainer(session)), " ",
            [&](int i) {
                sp_playlist *pl = playlist_at(i);
                return sp_playlist_name(pl) + std::string(sp_playlist_is_loaded(pl) ? "[" : "?[") +
                       join(sp_playlist_num_tracks(pl), ",",
                            [&](int t) { return splocal_track_id(sp_playlist_track(pl, t)); }) +
                       "]";
            });
    }

    Recorder rec;
    sp_session_callbacks callbacks{};
    sp_playlist_callbacks playlist_callbacks{};
    sp_playlistcontainer_callbacks container_callbacks{};
};

// The program's session controller over the library.
class SessionTest : public CatalogueTest {
protected:
    void SetUp() override {
        CatalogueTest::SetUp();
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
    }
    void TearDown() override {
        session = state.session;
        CatalogueTest::TearDown(); // stops the player thread
        pcm_queue_flush(&queue);
        std::free(state.wanted_name);
        for (HANDLE handle : {state.lock, queue.mutex, queue.event, queue.lend_mutex, wake})
            CloseHandle(handle);
    }
    struct Playlist {
        int id = -1;
        std::vector<int> tracks;
        int operator[](int index) const { return tracks[static_cast<size_t>(index)]; }
    };
    // A playlist at the end of the container with count new tracks.
    Playlist new_playlist(const char *name, int count, int frames = kLongTrack) {
        Playlist playlist;
        for (int i = 0; i < count; ++i)
            playlist.tracks.push_back(add_track(frames));
        playlist.id = add_playlist(name, playlist.tracks);
        return playlist;
    }
    void insert_track(int playlist, int track, int position) {
        splocal_playlist_add_tracks(playlist, &track, 1, position);
    }
    bool log_in() {
        if (session_connect(&state, kUser, kPassword) != 1)
            return false;
        session = state.session;
        pass();
        return sp_session_connectionstate(session) == SP_CONNECTION_STATE_LOGGED_IN;
    }
    // Logged in, following "Mix" (mix: four long tracks) from position index,
    // with some of that track's audio queued.
    bool start(int index = 0) {
        mix = new_playlist("Mix", 4);
        if (!log_in())
            return false;
        state.track_index = static_cast<uint32_t>(index);
        session_select_playlist(&state, "Mix");
        return player_track() == mix[index] &&
               pass_until([&] { return pcm_queue_frames(&queue) > 4096; });
    }
    // Main loop passes until no library work, no advance and no wake are pending.
    void pass() {
        for (int pass = 0; pass < 1000; ++pass) {
            session_process(&state);
            if (!splocal_work_pending(state.session) && !state.advance_pending.load() && !woken())
                return;
        }
        ADD_FAILURE() << "the session kept having work after 1000 passes";
    }
    // Passes, waiting on the wake event, until done() holds (bounded).
    bool pass_until(const std::function<bool()> &done) {
        for (int pass = 0; pass < 4000 && !done(); ++pass) {
            const int timeout = session_process(&state);
            if (!done())
                WaitForSingleObject(wake, timeout > 0 && timeout < 5 ? DWORD(timeout) : 5);
        }
        return done();
    }
    bool woken() { return WaitForSingleObject(wake, 0) == WAIT_OBJECT_0; }
    int player_track() { return splocal_player_track(state.session); }
    int selected_playlist() { return splocal_playlist_id(state.playlist); }
    // True when the oldest queued block starts with the track's first frames.
    bool head_is_start_of(int track) {
        int16_t expected[128] = {};
        if (splocal_track_pcm(track, expected, 64) < 64)
            return false;
        WaitForSingleObject(queue.mutex, INFINITE);
        bool same = queue.head && queue.head->frame_count >= 64;
        for (int i = 0; same && i < 128; ++i)
            same = queue.head->samples()[i] == expected[i];
        ReleaseMutex(queue.mutex);
        return same;
    }
    // The main loop's read-and-clear of a flag under the session lock.
    int32_t take_flag(int32_t SessionState::*flag) {
        WaitForSingleObject(state.lock, INFINITE);
        const int32_t value = std::exchange(state.*flag, 0);
        ReleaseMutex(state.lock);
        return value;
    }

    SessionState state{};
    PcmQueue queue{};
    HANDLE wake = nullptr;
    Playlist mix;
};

} // namespace lib_test
