// An advance request that arrives just before a playlist edit switches
// tracks belongs to the track that was in the player, not to the new one.

#include "support/libspotify/library_harness.h"

#include <chrono>
#include <thread>

namespace lib_test {
namespace {

using EditAfterAnAdvanceRequestKeepsTheNewTrack = SessionTest;

TEST_F(EditAfterAnAdvanceRequestKeepsTheNewTrack, EndedTrackRemovedOrUnplayableTrackReplaced) {
    const int short_track = add_track(2048);
    mix = new_playlist("Mix", 3);
    splocal_playlist_add_tracks(mix.id, &short_track, 1, 0);
    ASSERT_TRUE(log_in());
    session_select_playlist(&state, "Mix");
    ASSERT_EQ(player_track(), short_track);
    // The short track is delivered whole and ends: its end asks for an
    // advance. No pass runs before the removal of the ended track reaches
    // the program, in the rest of the same pass.
    const auto deadline = std::chrono::steady_clock::now() + std::chrono::seconds(10);
    while (!state.advance_pending.load() && std::chrono::steady_clock::now() < deadline)
        std::this_thread::sleep_for(std::chrono::milliseconds(1));
    ASSERT_EQ(state.advance_pending.load(), 1) << "the short track did not end";
    const int first = 0;
    splocal_playlist_remove_tracks(mix.id, &first, 1);
    int timeout = 0;
    sp_session_process_events(state.session, &timeout);
    ASSERT_EQ(player_track(), mix[0]) << "the removal starts the track behind the ended one";
    pass();
    EXPECT_EQ(state.track_index, 0u);
    EXPECT_EQ(player_track(), mix[0]) << "the ended track's advance moved past the new one";

    // The same for a track that cannot be played and asks to be passed,
    // replaced by a playable one before the next pass.
    const int unavailable = add_track();
    splocal_track_set_available(unavailable, 0);
    splocal_playlist_add_tracks(mix.id, &unavailable, 1, 1);
    pass();
    session_skip(&state);
    session_process(&state); // to the unavailable track, which asks for an advance
    ASSERT_EQ(state.track_index, 1u);
    ASSERT_EQ(state.advance_pending.load(), 1);
    const int second = 1;
    splocal_playlist_remove_tracks(mix.id, &second, 1);
    sp_session_process_events(state.session, &timeout);
    pass();
    EXPECT_EQ(state.track_index, 1u);
    EXPECT_EQ(player_track(), mix[1]);
}

} // namespace
} // namespace lib_test
