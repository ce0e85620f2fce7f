// The player's controls on the session: previous, skips and switches while
// paused, seeking, shuffle and repeat, the time line.
#include "audio/output_controls.h"
#include "session/player_controls.h"
#include "session/playlist_following.h"
#include "support/libspotify/library_harness.h"
#include "support/pcm_block.h"

namespace lib_test {
namespace {

// The samples of every queued block, oldest first.
std::vector<int16_t> queued_samples(PcmQueue &queue) {
    std::vector<int16_t> samples;
    WaitForSingleObject(queue.mutex, INFINITE);
    for (const PcmBlock *block = queue.head; block; block = block->next)
        samples.insert(samples.end(), block->samples(), block->samples() + 2 * block->frame_count);
    ReleaseMutex(queue.mutex);
    return samples;
}

// 64 frames of track from frame first.
std::vector<int16_t> frames_of(int track, int first) {
    std::vector<int16_t> all(2 * (static_cast<size_t>(first) + 64));
    splocal_track_pcm(track, all.data(), first + 64);
    return std::vector<int16_t>(all.end() - 128, all.end());
}

class PreviousGoesByWhatWasHeard : public SessionTest {
protected:
    // The device has taken what was queued and played ms of the track in the
    // player, as the output thread reports each buffer played.
    void hear(uint32_t ms) {
        while (PcmBlock *taken = pcm_queue_pop(&queue))
            std::free(taken);
        PcmBlock *block = make_block(static_cast<int32_t>(ms * 44100 / 1000));
        WaitForSingleObject(queue.mutex, INFINITE);
        block->track_mark = queue.track_mark;
        ReleaseMutex(queue.mutex);
        output_controls_note_played(&queue.controls, block, 44100);
        std::free(block);
    }
    // The queue, once filled, starts with track's frames from ms on.
    bool head_is(int track, int ms) {
        const std::vector<int16_t> frames = frames_of(track, ms * 441 / 10);
        return pass_until([&] { return pcm_queue_frames(&queue) >= 64; }) &&
               std::equal(frames.begin(), frames.end(), queued_samples(queue).begin());
    }
};
using SkipsWhilePausedStayPaused = SessionTest;

struct Previous {
    const char *name;
    int start;
    uint32_t heard_ms;
    int plays; // the mix track playing afterwards, from its start
};
const Previous kPrevious[] = {
    {"NothingHeard", 2, 0, 1},    {"ThreeSecondsHeard", 2, 3000, 1}, {"MoreThanThree", 2, 3024, 2},
    {"FirstTrackAgain", 0, 0, 0}, {"FirstRestarted", 0, 9000, 0},
};

class PreviousRule : public PreviousGoesByWhatWasHeard,
                     public ::testing::WithParamInterface<Previous> {};

TEST_P(PreviousRule, TrackAtTheNewPositionPlaysFromItsStartAndAPauseStays) {
    const Previous &p = GetParam();
    ASSERT_TRUE(start(p.start));
    // Delivered audio does not count: a second of it is queued already.
    hear(p.heard_ms);
    session_set_paused(&state, true);
    session_previous(&state);
    EXPECT_EQ(state.track_index, static_cast<uint32_t>(p.plays));
    EXPECT_EQ(player_track(), mix[p.plays]);
    EXPECT_TRUE(pass_until([&] { return head_is_start_of(mix[p.plays]); }));
    EXPECT_TRUE(session_is_paused(&state));
    EXPECT_EQ(output_controls_heard_ms(&queue.controls, state.current_mark), 0u)
        << "the restarted track counts afresh";
}

INSTANTIATE_TEST_SUITE_P(Cases, PreviousRule, ::testing::ValuesIn(kPrevious),
                         [](const auto &param) { return std::string(param.param.name); });

// Heard audio of an earlier track does not count for the one now in the
// player; at the end of the playlist, previous is the last track.
TEST_F(PreviousGoesByWhatWasHeard, OnlyTheTrackInThePlayerCountsAfterTheEndTheLast) {
    ASSERT_TRUE(start(1));
    hear(5000);
    session_skip(&state);
    pass();
    ASSERT_EQ(player_track(), mix[2]);
    session_previous(&state);
    EXPECT_EQ(player_track(), mix[1]);
    state.track_index = 4; // past the last track: nothing in the player
    session_stop_player(&state);
    hear(5000);
    session_previous(&state);
    EXPECT_EQ(player_track(), mix[3]);
}

TEST_F(SkipsWhilePausedStayPaused, NextAndSwitchAtTheNewStartEditsKeepThePosition) {
    ASSERT_TRUE(start(1));
    session_set_paused(&state, true);
    session_skip(&state);
    pass();
    EXPECT_EQ(player_track(), mix[2]);
    EXPECT_TRUE(pass_until([&] { return head_is_start_of(mix[2]); }));
    EXPECT_TRUE(session_is_paused(&state));
    // Its start queued, the library's player waits for the resume.
    pass();
    EXPECT_EQ(splocal_player_playing(state.session), 0);
    session_set_paused(&state, false);
    EXPECT_EQ(splocal_player_playing(state.session), 1);
    session_set_paused(&state, true);

    const Playlist other = new_playlist("Other", 3);
    pass();
    session_switch_playlist(&state, "Other");
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), other[0]);
    EXPECT_TRUE(pass_until([&] { return head_is_start_of(other[0]); }));
    session_skip(&state);
    pass();
    const int front = 0;
    splocal_playlist_remove_tracks(other.id, &front, 1); // before the position
    pass();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), other[1]);
    splocal_playlist_remove_tracks(mix.id, &front, 1); // the playlist left is not followed
    pass();
    EXPECT_EQ(player_track(), other[1]);
    EXPECT_TRUE(session_is_paused(&state));
}

using SeekFollowsTheKeyNsRule = PreviousGoesByWhatWasHeard;

// A seek stops the player inside a delivery of the old position: only a
// queue emptied after the unload is free of it. The track goes on at the
// frame asked for, counted from what the device has played; back past the
// start is the start; after a seek P restarts the track; past the end is N.
TEST_F(SeekFollowsTheKeyNsRule, TheTrackGoesOnAtTheFrameAskedForAndNothingOfTheOldPosition) {
    sound_ = SPLOCAL_SOUND_NOISE;
    ASSERT_TRUE(start(1));
    hear(2000);
    splocal_hold_delivery(state.session, 1);
    ASSERT_TRUE(pass_until([&] { return splocal_delivery_held(state.session) != 0; }));
    pcm_queue_flush(&queue);
    session_seek_by(&state, 5000);
    EXPECT_TRUE(head_is(mix[1], 7000)) << "not at 7 s, or the old position queued";
    EXPECT_EQ(session_position_ms(&state), 7000u) << "nothing of the new position heard yet";
    session_seek_by(&state, 5000); // repeated before anything was heard: from the last target
    EXPECT_TRUE(head_is(mix[1], 12000));
    session_seek_by(&state, -30000);
    EXPECT_TRUE(head_is(mix[1], 0));

    session_seek_to(&state, 9999);
    session_set_paused(&state, true);
    session_previous(&state);
    EXPECT_EQ(player_track(), mix[1]) << "P after a seek past 3 s goes back a track";
    EXPECT_TRUE(head_is(mix[1], 0));
    session_seek_to(&state, 29001);
    EXPECT_TRUE(head_is(mix[1], 29001));
    EXPECT_TRUE(session_is_paused(&state));
    session_seek_to(&state, 30000);
    pass();
    EXPECT_EQ(player_track(), mix[2]) << "past the end is the next track";
    EXPECT_TRUE(head_is(mix[2], 0));
    EXPECT_TRUE(session_is_paused(&state));
}

// At a join without a gap the player already plays the next track while
// the end of the one before is heard: Left goes back into the track heard,
// Right past its end as far into the next.
TEST_F(SeekFollowsTheKeyNsRule, AtAJoinTheSeekMovesFromTheTrackHeard) {
    sound_ = SPLOCAL_SOUND_NOISE;
    ASSERT_TRUE(start(1));
    const auto join_after = [&](uint32_t heard_ms) {
        hear(heard_ms);
        on_end_of_track(state.session); // its last frame delivered
        pass();
    };
    join_after(29000);
    ASSERT_EQ(player_track(), mix[2]);
    session_seek_by(&state, -5000);
    EXPECT_EQ(player_track(), mix[1]);
    EXPECT_TRUE(head_is(mix[1], 24000));
    join_after(5000); // mix[1] from 24 s: 29 s heard
    session_seek_by(&state, 5000);
    EXPECT_EQ(player_track(), mix[2]);
    EXPECT_TRUE(head_is(mix[2], 4000));
}

class OrderOfPlay : public SessionTest {
protected:
    // Logged in, following "Mix" of count tracks; short ones end one after
    // the other as the queue takes them.
    void follow(int count, int frames = 2048) {
        mix = new_playlist("Mix", count, frames);
        ASSERT_TRUE(log_in());
        session_select_playlist(&state, "Mix");
    }
    // The tracks heard in the queue, one entry for each start of a track.
    std::vector<int> heard_order() {
        const std::vector<int16_t> samples = queued_samples(queue);
        std::vector<int> order;
        for (auto at = samples.begin(); samples.end() - at >= 2 * 2048; at += 2 * 2048) {
            const auto found = std::find_if(mix.begin(), mix.end(), [&](int track) {
                return std::equal(at, at + 128, frames_of(track, 0).begin());
            });
            order.push_back(found == mix.end() ? -1 : *found);
        }
        return order;
    }
};

// Repeat one plays the track that ended again, joined without a gap, while
// N moves on; repeat all plays the first after the last.
TEST_F(OrderOfPlay, RepeatOneAgainGaplessNMovesOnRepeatAllWraps) {
    session_cycle_repeat(&state);
    session_cycle_repeat(&state);
    ASSERT_EQ(state.order.repeat, RepeatMode::One);
    follow(3);
    ASSERT_TRUE(pass_until([&] { return heard_order().size() >= 3; }));
    EXPECT_EQ(heard_order(), std::vector<int>(heard_order().size(), mix[0]));
    session_skip(&state);
    pass();
    EXPECT_EQ(player_track(), mix[1]) << "N with repeat one stays";

    session_cycle_repeat(&state);
    session_cycle_repeat(&state);
    ASSERT_EQ(state.order.repeat, RepeatMode::All);
    session_seek_to(&state, 0);
    ASSERT_TRUE(pass_until([&] { return heard_order().size() >= 4; }));
    const std::vector<int> order = heard_order();
    EXPECT_EQ(std::vector<int>(order.begin(), order.begin() + 4),
              (std::vector<int>{mix[1], mix[2], mix[0], mix[1]}));
}

// Edited while shuffled, the playlist keeps the track playing: tracks
// removed or added before it leave it in the player, and the order goes on
// through the tracks not yet heard, new ones included, then stops.
TEST_F(OrderOfPlay, EditsWhileShuffledKeepTheTrackPlaying) {
    follow(6, 44100 * 30);
    ASSERT_TRUE(pass_until([&] { return player_track() == mix[0]; }));
    play_order_seed(&state.order, 5);
    session_toggle_shuffle(&state);
    session_skip(&state);
    pass();
    const int playing = player_track();
    ASSERT_GT(state.track_index, 0u);
    const int first = 0;
    splocal_playlist_remove_tracks(mix.id, &first, 1);
    pass();
    EXPECT_EQ(player_track(), playing);
    const int added = add_track();
    splocal_playlist_add_tracks(mix.id, &added, 1, 0);
    pass();
    EXPECT_EQ(player_track(), playing);
    EXPECT_EQ(sp_playlist_track(state.playlist, static_cast<int>(state.track_index)),
              state.current_track);
    std::vector<int> rest, unheard{added};
    for (int i = 0; i < 5; ++i) {
        session_skip(&state);
        pass();
        rest.push_back(player_track());
    }
    std::copy_if(mix.begin() + 1, mix.end(), std::back_inserter(unheard),
                 [&](int track) { return track != playing; });
    std::sort(rest.begin(), rest.end());
    std::sort(unheard.begin(), unheard.end());
    EXPECT_EQ(rest, unheard) << "the added track, and not the removed one, each once";
    session_skip(&state);
    pass();
    EXPECT_EQ(player_track(), -1) << "the shuffled round over, repeat off stops";
}

// The time line shows the block being heard: the old position while the
// device plays out the buffers before a seek or a change of track, the new
// one once it is heard or while the device is paused.
TEST(TimeLineFollowsTheBlockHeard, OldMarkUntilTheNewIsHeardOrWhilePaused) {
    TrackTimings timings{};
    track_timing_record(&timings, {7, 0, 30000, 0, false});
    track_timing_record(&timings, {8, 12000, 30000, 0, false}); // a seek to 12 s
    const auto shown = [&](HeardPosition heard, uint32_t current, bool paused) {
        const PlayPosition p = track_timing_position(
            &timings, heard, track_timing_heard_mark(&timings, heard, current, paused));
        return p.known ? static_cast<int>(p.position_ms) : -1;
    };
    EXPECT_EQ(shown({7, 44100, 44100}, 8, false), 1000);
    EXPECT_EQ(shown({7, 44100, 44100}, 8, true), 12000);
    EXPECT_EQ(shown({8, 22050, 44100}, 8, false), 12500);
    EXPECT_EQ(shown({3, 22050, 44100}, 8, false), 12000) << "a mark no longer kept";
    EXPECT_EQ(shown({7, 44100 * 40, 44100}, 0, false), 30000) << "past the length";
    EXPECT_EQ(shown({0, 0, 0}, 0, false), -1);
    EXPECT_EQ(track_timing_position(&timings, {7, 44100, 44100}, 8).position_ms, 12000u)
        << "the track in the player counts from its start until heard";
}

} // namespace
} // namespace lib_test
