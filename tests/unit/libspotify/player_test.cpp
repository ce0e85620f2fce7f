// The player: exact audio in order, refusals and partial takes offered
// again from the first frame not taken, one end_of_track from the player
// thread, and an unload after which nothing of the track runs.
#include <chrono>

#include "libspotify/library_harness.h"

namespace libspotify_test {
namespace {

std::vector<int16_t> pcm_of(int track) {
    std::vector<int16_t> out(static_cast<size_t>(splocal_track_pcm(track, nullptr, 0)) * 2);
    splocal_track_pcm(track, out.data(), static_cast<int>(out.size() / 2));
    return out;
}

class PlayerTest : public LibraryTest {
protected:
    sp_track *load(int track_id) {
        const int pl = add_playlist("P", {track_id});
        log_in();
        sp_track *track = sp_playlist_track(playlist_of(pl), 0);
        EXPECT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
        return track;
    }
    std::vector<int16_t> delivered() {
        std::lock_guard<std::mutex> lock(rec.mutex);
        return rec.delivered;
    }
    bool wait_for_end(int count = 1) {
        return wait_until([&] { return rec.end_of_track.load() >= count; });
    }
};

using PlayerDeliversTheTracksAudio = PlayerTest;
using PlayerOffersWhatWasNotTaken = PlayerTest;
using UnloadStopsDeliveryAtOnce = PlayerTest;

TEST_F(PlayerDeliversTheTracksAudio, EveryFrameOfTheTrackInOrderThenOneEndOfTrack) {
    splocal_set_chunk_frames(1000);
    const int ramp = splocal_track_add("A", "Ramp", SPLOCAL_SOUND_RAMP, 0, 10500);
    load(ramp);
    EXPECT_EQ(splocal_player_track(session), ramp);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_TRUE(delivered().empty()); // loaded, not playing
    ASSERT_EQ(sp_session_player_play(session, 1), SP_ERROR_OK);
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(delivered(), pcm_of(ramp));
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        for (int offered : rec.offers)
            EXPECT_LE(offered, 1000);
    }
    EXPECT_EQ(splocal_player_position(session), 10500);
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
    EXPECT_EQ(rec.end_of_track.load(), 1);
    EXPECT_EQ(splocal_work_pending(session), 0);
}

TEST_F(PlayerDeliversTheTracksAudio, SynthesizedMusicMatchesItsPcmWithTheDefaultChunk) {
    const int drums = splocal_track_add("A", "Beat", SPLOCAL_SOUND_DRUMS, 140, 30000);
    load(drums);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(delivered(), pcm_of(drums));
    std::lock_guard<std::mutex> lock(rec.mutex);
    ASSERT_FALSE(rec.offers.empty());
    EXPECT_EQ(rec.offers.front(), 1024);
}

TEST_F(PlayerOffersWhatWasNotTaken, RefusedAndPartlyTakenChunksFromTheFirstFrameNotTaken) {
    splocal_set_chunk_frames(300);
    const int ramp = splocal_track_add("A", "Ramp", SPLOCAL_SOUND_RAMP, 0, 7000);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = [n = 0](int offered) mutable {
            switch (n++ % 4) {
            case 0:
                return 0;
            case 1:
                return offered / 3;
            case 2:
                return 1;
            default:
                return offered;
            }
        };
    }
    load(ramp);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_for_end());
    // Only taken frames are recorded: any offer from a wrong frame would
    // show as a gap or a repeat.
    EXPECT_EQ(delivered(), pcm_of(ramp));
    EXPECT_EQ(rec.end_of_track.load(), 1);
    std::lock_guard<std::mutex> lock(rec.mutex);
    for (size_t i = 1; i < rec.offers.size(); ++i)
        EXPECT_EQ(rec.offers[i], std::min(300, 7000 - rec.offer_starts[i])) << "offer " << i;
}

TEST_F(PlayerOffersWhatWasNotTaken, ARefusingProgramIsOfferedAgainAfterAWaitNotInASpin) {
    const int tone = add_tone_track("Tone", 44100);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = [](int) { return 0; };
    }
    load(tone);
    sp_session_player_play(session, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    size_t offers;
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        offers = rec.offers.size();
        rec.accept = nullptr;
    }
    EXPECT_GE(offers, 2u);   // offered again
    EXPECT_LE(offers, 200u); // at most one offer a millisecond
    ASSERT_TRUE(wait_for_end());
    EXPECT_EQ(delivered(), pcm_of(tone));
}

TEST_F(PlayerOffersWhatWasNotTaken, LoadingAnotherTrackStartsItFromItsFirstFrame) {
    splocal_set_chunk_frames(64);
    const int first = splocal_track_add("A", "First", SPLOCAL_SOUND_RAMP, 0, 200000);
    const int second = splocal_track_add("A", "Second", SPLOCAL_SOUND_NOISE, 3, 5000);
    sp_track *a = load(first);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        // Takes the first 640 frames, then holds the track there.
        rec.accept = [this](int offered) { return rec.delivered.size() < 2 * 640 ? offered : 0; };
    }
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_until([&] { return splocal_player_position(session) == 640; }));
    const int second_pl = add_playlist("Q", {second});
    pump();
    sp_track *b = sp_playlist_track(playlist_of(second_pl), 0);
    ASSERT_NE(b, a);
    ASSERT_EQ(sp_session_player_load(session, b), SP_ERROR_OK); // replaces, no unload
    const size_t cut = delivered().size();
    EXPECT_EQ(cut, 2u * 640);
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = nullptr;
    }
    EXPECT_EQ(splocal_player_track(session), second);
    EXPECT_EQ(rec.end_of_track.load(), 0);
    sp_session_player_play(session, 1);
    ASSERT_TRUE(wait_for_end());
    const std::vector<int16_t> all = delivered();
    const std::vector<int16_t> tail(all.begin() + static_cast<ptrdiff_t>(cut), all.end());
    EXPECT_EQ(tail, pcm_of(second));
}

TEST_F(UnloadStopsDeliveryAtOnce, NoDeliveryOrEndOfTrackRunsOrStartsAfterUnloadReturns) {
    splocal_set_chunk_frames(128);
    std::atomic<bool> unloaded{false};
    std::atomic<int> late_calls{0};
    {
        std::lock_guard<std::mutex> lock(rec.mutex);
        rec.accept = [&](int offered) {
            if (unloaded.load())
                late_calls.fetch_add(1);
            std::this_thread::sleep_for(std::chrono::microseconds(100));
            if (unloaded.load())
                late_calls.fetch_add(1);
            return offered;
        };
    }
    const int short_track = splocal_track_add("A", "Short", SPLOCAL_SOUND_RAMP, 0, 700);
    sp_track *track = load(short_track);
    for (int round = 0; round < 40; ++round) {
        ASSERT_EQ(sp_session_player_load(session, track), SP_ERROR_OK);
        unloaded.store(false);
        const int ends = rec.end_of_track.load();
        sp_session_player_play(session, 1);
        std::this_thread::sleep_for(std::chrono::microseconds(150 * (round % 8)));
        sp_session_player_unload(session);
        unloaded.store(true);
        const int ends_at_unload = rec.end_of_track.load();
        EXPECT_LE(ends_at_unload - ends, 1);
        std::this_thread::sleep_for(std::chrono::milliseconds(2));
        EXPECT_EQ(rec.end_of_track.load(), ends_at_unload) << "round " << round;
        EXPECT_EQ(splocal_player_track(session), -1);
    }
    EXPECT_EQ(late_calls.load(), 0);
    // A play without a loaded track delivers nothing.
    const size_t before = delivered().size();
    sp_session_player_play(session, 1);
    std::this_thread::sleep_for(std::chrono::milliseconds(5));
    EXPECT_EQ(delivered().size(), before);
    std::lock_guard<std::mutex> lock(rec.mutex);
    rec.accept = nullptr;
}

} // namespace
} // namespace libspotify_test
