// The player's controls on the session: previous (by what the device has
// played), a skip and a playlist switch while paused, the position after a
// switch. The audio output thread's count is stood in for by
// audio_output_note_played, as the thread calls it for each buffer played.
#include "audio/output_controls.h"
#include "support/libspotify/library_harness.h"
#include "support/pcm_block.h"

namespace lib_test {
namespace {

class PreviousGoesByWhatWasHeard : public SessionTest {
protected:
    // The device has taken what was queued and played ms of the track in
    // the player.
    void hear(uint32_t ms) {
        while (PcmBlock *taken = pcm_queue_pop(&queue))
            std::free(taken);
        PcmBlock *block = make_block(static_cast<int32_t>(ms * 44100 / 1000));
        WaitForSingleObject(queue.mutex, INFINITE);
        block->track_mark = queue.track_mark;
        ReleaseMutex(queue.mutex);
        audio_output_note_played(&queue, block, 44100);
        std::free(block);
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
    EXPECT_EQ(audio_output_heard_ms(&queue), 0u) << "the restarted track counts afresh";
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

} // namespace
} // namespace lib_test
