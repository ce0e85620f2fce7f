// The player: exact audio in order, refusals and partial takes offered
// again from the first frame not taken, one end_of_track from the player
// thread, and an unload after which nothing of the track runs.
#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

std::vector<int16_t> pcm_of(int track) {
    std::vector<int16_t> out(static_cast<size_t>(splocal_track_pcm(track, nullptr, 0)) * 2);
    splocal_track_pcm(track, out.data(), static_cast<int>(out.size() / 2));
    return out;
}

void sleep_us(int us) {
    std::this_thread::sleep_for(std::chrono::microseconds(us));
}

class PlayerTest : public LibraryTest {
protected:
    // Logs in (once), puts the track in a new playlist and loads it.
    sp_track *load(int track_id) {
        add_playlist("P", {track_id});
        session ? pump() : log_in();
        const int last = sp_playlistcontainer_num_playlists(container()) - 1;
        sp_track *track = sp_playlist_track(playlist_at(last), 0);
        EXPECT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
        return track;
    }
    bool play_to_end() {
        sp_session_player_play(session, 1);
        return wait_until([&] { return rec.end_of_track.load() >= 1; });
    }
    std::vector<int16_t> delivered() {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return rec.delivered;
    }
    void accept(std::function<int(int)> rule) {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = std::move(rule);
    }
    // Every offer is a full chunk, or the rest of the track.
    void expect_offers_of(int chunk, int frames) {
        std::lock_guard<std::mutex> lock(rec.mutex);
        for (const auto &[start, count] : rec.offers)
            EXPECT_EQ(count, std::min(chunk, frames - start)) << "from frame " << start;
    }
};

using PlayerDeliversTheTracksAudio = PlayerTest;
using PlayerOffersWhatWasNotTaken = PlayerTest;
using UnloadStopsDeliveryAtOnce = PlayerTest;

TEST_F(PlayerDeliversTheTracksAudio, EveryFrameInChunksInOrderThenOneEndOfTrack) {
    const int ramp = add_track("Ramp", 200000, SPLOCAL_SOUND_RAMP);
    const int drums = splocal_track_add("A", "Beat", SPLOCAL_SOUND_DRUMS, 140, 30000);
    add_playlist("Q", {drums});
    sp_track *first = load(ramp);
    sleep_us(5000);
    EXPECT_TRUE(delivered().empty()); // loaded, not playing
    // The program takes 640 frames, then refuses slowly; loading another
    // track during a refusal replaces the first (no unload) and starts the
    // new one from its first frame.
    std::atomic<bool> refusing{false};
    accept([&](int offered) {
        const int taken = std::min(offered, 640 - static_cast<int>(rec.delivered.size() / 2));
        if (taken == 0) {
            refusing = true;
            sleep_us(20000);
        }
        return taken;
    });
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return refusing.load(); }));
    sp_track *second = sp_playlist_track(playlist_at(0), 0);
    ASSERT_EQ(sp_session_player_load(session, second), SP_ERROR_OK);
    ASSERT_NE(second, first);
    EXPECT_EQ(splocal_player_track(session), drums);
    EXPECT_EQ(rec.end_of_track.load(), 0);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        const std::vector<int16_t> head = pcm_of(ramp);
        EXPECT_EQ(rec.delivered, std::vector<int16_t>(head.begin(), head.begin() + 2 * 640));
        rec.delivered.clear();
        rec.offers.clear();
        rec.accept = nullptr;
    }
    ASSERT_TRUE(play_to_end());
    EXPECT_EQ(delivered(), pcm_of(drums));
    EXPECT_EQ(splocal_player_position(session), 30000);
    expect_offers_of(1024, 30000); // the default chunk
    sleep_us(20000);
    EXPECT_EQ(rec.end_of_track.load(), 1);
    EXPECT_EQ(splocal_work_pending(session), 0);
}

TEST_F(PlayerOffersWhatWasNotTaken, RefusedAndPartlyTakenChunksFromTheFirstFrameNotTaken) {
    splocal_set_chunk_frames(300);
    accept([](int) { return 0; });
    const int ramp = splocal_track_add("A", "Ramp", SPLOCAL_SOUND_RAMP, 0, 7000);
    load(ramp);
    // A refusing program is offered the chunk again after a wait, not in a spin.
    sp_session_player_play(session, 1);
    sleep_us(200000);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        EXPECT_GE(rec.offers.size(), 2u);   // offered again
        EXPECT_LE(rec.offers.size(), 200u); // at most one offer a millisecond
        rec.accept = [n = 0](int offered) mutable {
            return std::vector{0, offered / 3, 1, offered}[n++ % 4];
        };
    }
    ASSERT_TRUE(play_to_end());
    // Only taken frames are recorded: an offer from a wrong frame would show
    // as a gap or a repeat.
    EXPECT_EQ(delivered(), pcm_of(ramp));
    expect_offers_of(300, 7000);
    EXPECT_EQ(rec.end_of_track.load(), 1);
}

TEST_F(UnloadStopsDeliveryAtOnce, NoDeliveryOrEndOfTrackRunsOrStartsAfterUnloadReturns) {
    splocal_set_chunk_frames(128);
    std::atomic<bool> unloaded{false};
    std::atomic<int> late_calls{0};
    accept([&](int offered) {
        late_calls += unloaded.load() ? 1 : 0;
        sleep_us(100);
        late_calls += unloaded.load() ? 1 : 0;
        return offered;
    });
    sp_track *track = load(splocal_track_add("A", "Short", SPLOCAL_SOUND_RAMP, 0, 700));
    for (int round = 0; round < 40; ++round) {
        SCOPED_TRACE(round);
        ASSERT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
        unloaded.store(false);
        const int ends = rec.end_of_track.load();
        sp_session_player_play(session, 1);
        sleep_us(150 * (round % 8));
        sp_session_player_unload(session);
        unloaded.store(true);
        const int ends_at_unload = rec.end_of_track.load();
        EXPECT_LE(ends_at_unload - ends, 1);
        sleep_us(2000);
        EXPECT_EQ(rec.end_of_track.load(), ends_at_unload);
        EXPECT_EQ(splocal_player_track(session), -1);
    }
    EXPECT_EQ(late_calls.load(), 0);
    // A play without a loaded track delivers nothing.
    const size_t before = delivered().size();
    sp_session_player_play(session, 1);
    sleep_us(5000);
    EXPECT_EQ(delivered().size(), before);
    accept(nullptr);
}

} // namespace
} // namespace libspotify_test
