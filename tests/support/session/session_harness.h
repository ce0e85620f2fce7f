// The session controller against the local streaming library: a fresh
// catalogue with one account, a SessionState wired to a real PcmQueue and wake
// event, and passes run as the main loop runs them. The test's thread is the
// main thread; the player thread delivers into queue through on_music_delivery.
#pragma once

#include "audio/pcm_queue.h"
#include "session/playlist_following.h"
#include "session/session_controller.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <vector>

namespace session_test {

constexpr const char *kUser = "ann";
constexpr const char *kPassword = "s3cret";
constexpr int kLongTrack = 44100 * 30; // never ends while nothing consumes the queue

struct Playlist {
    int id = -1;
    std::vector<int> tracks;
    int operator[](int index) const { return tracks[static_cast<size_t>(index)]; }
};

class SessionHarness : public ::testing::Test {
protected:
    void SetUp() override {
        splocal_reset();
        splocal_set_latency(0);
        ASSERT_GE(splocal_account_add(kUser, kPassword), 0);
        wake = CreateEventA(nullptr, FALSE, FALSE, nullptr);
        ASSERT_TRUE(pcm_queue_init(&queue, nullptr));
        ASSERT_TRUE(session_state_init(&state, wake, &queue));
    }
    void TearDown() override {
        if (state.session)
            splocal_session_release(state.session); // stops the player thread
        pcm_queue_flush(&queue);
        std::free(state.wanted_name);
        for (HANDLE handle : {state.lock, queue.mutex, queue.event, queue.lend_mutex, wake})
            CloseHandle(handle);
    }

    // A track whose tone is its own, so queued audio tells tracks apart.
    int add_track(int frames = kLongTrack) {
        next_tone_ += 50;
        return splocal_track_add("Artist", "Title", SPLOCAL_SOUND_TONE, next_tone_, frames);
    }
    // A playlist at the end of the account's container with count new tracks.
    Playlist add_playlist(const char *name, int count, int frames = kLongTrack) {
        Playlist playlist{splocal_playlist_add(kUser, name, -1), {}};
        EXPECT_GE(playlist.id, 0);
        for (int i = 0; i < count; ++i)
            playlist.tracks.push_back(add_track(frames));
        if (count > 0)
            splocal_playlist_add_tracks(playlist.id, playlist.tracks.data(), count, -1);
        return playlist;
    }
    void remove_tracks(int playlist, std::initializer_list<int> positions) {
        splocal_playlist_remove_tracks(playlist, positions.begin(), int(positions.size()));
    }
    void insert_track(int playlist, int track, int position) {
        splocal_playlist_add_tracks(playlist, &track, 1, position);
    }

    bool log_in() {
        if (session_connect(&state, kUser, kPassword) != 1)
            return false;
        pump();
        return sp_session_connectionstate(state.session) == SP_CONNECTION_STATE_LOGGED_IN;
    }
    // Logged in, following mix ("Mix", four long tracks) from position index,
    // with some of that track's audio queued.
    bool start(int index = 0) {
        mix = add_playlist("Mix", 4);
        if (!log_in())
            return false;
        state.track_index = static_cast<uint32_t>(index);
        session_select_playlist(&state, "Mix");
        return player_track() == mix[index] &&
               pump_until([&] { return pcm_queue_frames(&queue) > 4096; });
    }
    // Passes until no library work, no advance and no wake are pending.
    void pump() {
        for (int pass = 0; pass < 1000; ++pass) {
            session_process(&state);
            if (!splocal_work_pending(state.session) && !state.advance_pending.load() && !woken())
                return;
        }
        ADD_FAILURE() << "the session kept having work after 1000 passes";
    }
    // Passes, waiting on the wake event, until done() holds (bounded).
    bool pump_until(const std::function<bool()> &done) {
        for (int pass = 0; pass < 2000 && !done(); ++pass) {
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
        constexpr int kFrames = 64;
        int16_t expected[2 * kFrames] = {};
        if (splocal_track_pcm(track, expected, kFrames) < kFrames)
            return false;
        WaitForSingleObject(queue.mutex, INFINITE);
        bool same = queue.head && queue.head->frame_count >= kFrames;
        for (int i = 0; same && i < 2 * kFrames; ++i)
            same = queue.head->samples()[i] == expected[i];
        ReleaseMutex(queue.mutex);
        return same;
    }
    // The main loop's read-and-clear of a flag under the session lock.
    int32_t take_flag(int32_t SessionState::*flag) {
        WaitForSingleObject(state.lock, INFINITE);
        const int32_t value = state.*flag;
        state.*flag = 0;
        ReleaseMutex(state.lock);
        return value;
    }

    SessionState state{};
    PcmQueue queue{};
    HANDLE wake = nullptr;
    Playlist mix;
    int next_tone_ = 200;
};

} // namespace session_test
