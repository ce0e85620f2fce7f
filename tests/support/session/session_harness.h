// A fixture for suites that drive the session controller against the local
// streaming library: a fresh catalogue with one account, a SessionState wired
// to a real PcmQueue and wake event, and passes run the way the main loop
// runs them. The test's thread plays the program's main thread; the library's
// player thread delivers into queue through on_music_delivery.
#pragma once

#include "audio/pcm_queue.h"
#include "session/session_state.h"

#include <gtest/gtest.h>
#include <libspotify/local.h>

#include <functional>
#include <vector>

namespace session_test {

constexpr const char *kUser = "ann";
constexpr const char *kPassword = "s3cret";
// Never ends while nothing consumes the queue (back-pressure holds it).
constexpr int kLongTrack = 44100 * 30;
// Fits in the queue whole, so the player ends it by itself.
constexpr int kShortTrack = 2048;

struct Playlist {
    int id;
    std::vector<int> tracks;
};

class SessionHarness : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A track whose tone is its own, so queued audio tells tracks apart.
    int add_track(int frames = kLongTrack);
    // A playlist at the end of the account's container with count new tracks.
    Playlist add_playlist(const char *name, int count, int frames = kLongTrack);

    // Connects and pumps; true when the session is logged in.
    bool log_in();
    // Passes until the library has no queued work, no advance is pending and
    // the wake event is not set.
    void pump();
    // Passes, waiting on the wake event, until done() holds (bounded).
    bool pump_until(const std::function<bool()> &done);

    int player_track() { return splocal_player_track(state.session); }
    int selected_playlist() { return splocal_playlist_id(state.playlist); }
    // True when the oldest queued block starts with the track's first frames.
    bool head_is_start_of(int track);
    // The main loop's read-and-clear of a flag under the session lock.
    int32_t take_flag(int32_t SessionState::*flag);

    SessionState state{};
    PcmQueue queue{};
    HANDLE wake = nullptr;
    int next_tone_ = 200;
};

} // namespace session_test
