// The player: exact audio in order, refusals and partial takes offered
// again from the first frame not taken, one end_of_track from the player
// thread, and an unload after which nothing of the track runs.
#include "libspotify/library_harness.h"

namespace lib_test {
namespace {

class PlayerTest : public LibraryTest {
protected:
    // Logs in with the tracks in a playlist and loads the first.
    sp_track *load(const std::vector<int> &tracks) {
        add_playlist("P", tracks);
        log_in();
        EXPECT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 0)), 0);
        return sp_playlist_track(playlist_at(0), 0);
    }
    std::vector<int16_t> pcm_of(int track, int frames = -1) {
        std::vector<int16_t> out(
            size_t(frames < 0 ? splocal_track_pcm(track, nullptr, 0) : frames) * 2);
        splocal_track_pcm(track, out.data(), static_cast<int>(out.size() / 2));
        return out;
    }
    void accept(std::function<int(int)> rule) {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = std::move(rule);
    }
    std::vector<std::pair<int, int>> offers() {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return rec.offers;
    }
};

using PlayerDeliversTheTracksAudio = PlayerTest;
using UnloadStopsDeliveryAtOnce = PlayerTest;

// The program takes 640 frames of a ramp and refuses the rest; a load during
// the refusals replaces the ramp, and the drums then arrive from their first
// frame in chunks of 300, taken in parts: none, a third, one, all.
TEST_F(PlayerDeliversTheTracksAudio, EveryFrameTakenInOrderFromTheFirstNotTakenThenOneEnd) {
    splocal_set_chunk_frames(300);
    const int ramp = splocal_track_add("A", "Ramp", SPLOCAL_SOUND_RAMP, 0, 200000);
    const int drums = splocal_track_add("A", "Beat", SPLOCAL_SOUND_DRUMS, 140, 7000);
    load({ramp, drums});
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(offers().empty()); // loaded, not playing
    accept([&](int offered) { return std::min(offered, 640 - int(rec.delivered.size() / 2)); });
    sp_session_player_play(session, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(100));
    const size_t refusals = offers().size() - 3;
    EXPECT_GE(refusals, 2u);   // offered again
    EXPECT_LE(refusals, 100u); // after a wait, not in a spin
    accept([n = 0](int offered) mutable {
        return std::vector{0, offered / 3, 1, offered}[n++ % 4];
    });
    ASSERT_EQ(sp_session_player_load(session, sp_playlist_track(playlist_at(0), 1)), 0);
    EXPECT_EQ(splocal_player_track(session), drums);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return rec.end_of_track.load() == 1; }));
    std::vector<int16_t> expected = pcm_of(ramp, 640);
    for (int16_t sample : pcm_of(drums))
        expected.push_back(sample);
    std::lock_guard<std::mutex> lock(rec.mutex);
    EXPECT_EQ(rec.delivered, expected); // a wrong first frame shows as a gap or a repeat
    for (size_t i = 3 + refusals; i < rec.offers.size(); ++i) {
        const int start = rec.offers[i].first - 640;
        EXPECT_EQ(rec.offers[i].second, std::min(300, 7000 - start)) << "from frame " << start;
    }
    EXPECT_EQ(splocal_player_position(session), 7000);
    EXPECT_EQ(splocal_work_pending(session), 0); // no second end_of_track owed
}

// A delivery in progress (held inside by the library) ends before unload
// returns; after it, nothing of the track runs, not even end_of_track.
TEST_F(UnloadStopsDeliveryAtOnce, ADeliveryInProgressEndsFirstAndNothingRunsAfter) {
    splocal_set_chunk_frames(128);
    std::atomic<bool> unloaded{false};
    std::atomic<int> late{0};
    accept([&](int offered) {
        late += unloaded.load() ? 1 : 0;
        std::this_thread::sleep_for(std::chrono::milliseconds(10));
        late += unloaded.load() ? 1 : 0;
        return offered;
    });
    sp_track *track = load({splocal_track_add("A", "Short", SPLOCAL_SOUND_RAMP, 0, 300)});
    for (int round = 0; round < 3; ++round) {
        ASSERT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
        splocal_hold_delivery(session, 1);
        sp_session_player_play(session, 1);
        ASSERT_TRUE(wait_until([&] { return splocal_delivery_held(session) != 0; }));
        unloaded = false;
        sp_session_player_unload(session);
        unloaded = true;
        EXPECT_EQ(splocal_player_track(session), -1);
    }
    sp_session_player_play(session, 1); // nothing loaded: nothing plays
    const size_t seen = offers().size();
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    EXPECT_EQ(offers().size(), seen);
    EXPECT_EQ(late.load(), 0);
    EXPECT_EQ(rec.end_of_track.load(), 0);
}

} // namespace
} // namespace lib_test
