// A fixture for suites that drive the session controller against the local
// streaming library: a fresh catalogue with one account, a SessionState wired
// to a real PcmQueue and wake event, and helpers that pump the session the way
// the main loop does.
//
// Threads: the fixture runs on the test's main thread, which plays the part
// of the program's main thread. The library's player thread delivers into
// queue through on_music_delivery and may call on_end_of_track.
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
// Long enough never to end while nothing consumes the queue: back-pressure
// holds the player at about one second of queued audio.
constexpr int kLongTrack = 44100 * 30;
// Short enough to be delivered whole into the queue at once, so it ends.
constexpr int kShortTrack = 2048;

class SessionHarness : public ::testing::Test {
protected:
    void SetUp() override;
    void TearDown() override;

    // A catalogue track whose audio is a tone of its own, so the queued audio
    // tells the tracks apart.
    int add_track(int frames = kLongTrack);
    // A playlist of the account at the end of its container, with count new
    // tracks of the given length; their ids are kept in tracks_of.
    int add_playlist(const char *name, int count, int frames = kLongTrack);
    std::vector<int> &tracks_of(int playlist) { return tracks_[playlist]; }

    // Connects with the account and pumps until the login and the loading
    // it starts are delivered. True when the session ends up logged in.
    bool log_in();
    // Main-loop passes until the library has nothing queued and no advance
    // is pending.
    void pump();
    // Passes, waiting on the wake event like the main loop, until done()
    // holds; false if it does not within a generous bound.
    bool pump_until(const std::function<bool()> &done);

    // Observations.
    int player_track() { return splocal_player_track(state.session); }
    int selected_playlist() { return splocal_playlist_id(state.playlist); }
    int current_track() { return splocal_track_id(state.current_track); }
    // True when the oldest queued block holds the first frames of track:
    // nothing queued before the track started is left.
    bool head_is_start_of(int track);
    // The main loop's read-and-clear of a flag under the session lock.
    int32_t take_flag(int32_t SessionState::*flag);

    SessionState state{};
    PcmQueue queue{};
    HANDLE wake = nullptr;

private:
    std::vector<std::vector<int>> tracks_ = std::vector<std::vector<int>>(64);
    int next_tone_ = 200;
};

} // namespace session_test
